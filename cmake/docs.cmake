# Reference documentation: the API pages (Doxygen over the public header, warnings as errors), the
# manual page of the tool, and the checks of both. Doxygen is optional: without it the target says so
# and the check is skipped.
set(QMV3_DOCS_OUTPUT ${CMAKE_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${CMAKE_BINARY_DIR}/Doxyfile @ONLY)
find_program(QMV3_DOXYGEN doxygen)
if(QMV3_DOXYGEN)
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QMV3_DOCS_OUTPUT}
    COMMAND ${QMV3_DOXYGEN} ${CMAKE_BINARY_DIR}/Doxyfile
    COMMAND ${CMAKE_COMMAND} -E echo "API pages: ${QMV3_DOCS_OUTPUT}/html/index.html"
    DEPENDS ${PROJECT_SOURCE_DIR}/include/qmv3/qmv3.h ${PROJECT_SOURCE_DIR}/docs/mainpage.md
    VERBATIM)
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "doxygen is not installed: run make docs, which installs it"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()

install(FILES ${PROJECT_SOURCE_DIR}/docs/qmv3.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(QMV3_BUILD_TESTS)
  # The same Doxygen run as "make docs", into a folder of its own.
  add_test(NAME docs.api
    COMMAND ${PROJECT_SOURCE_DIR}/tests/docs/check_api_docs.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/docs-check)
  add_test(NAME docs.manual COMMAND ${PROJECT_SOURCE_DIR}/tests/docs/check_manual.sh ${PROJECT_SOURCE_DIR}/docs/qmv3.1)
  set_tests_properties(docs.api docs.manual PROPERTIES SKIP_RETURN_CODE 77)
  # The README's tours of the tool and of Python, run as shown (the Python one where the package is
  # built and the interpreter can load it).
  set(QMV3_TOUR_PYTHON "")
  if(TARGET qmv3_python AND NOT (QMV3_SANITIZE OR QMV3_SANITIZE_THREAD OR QMV3_BUILD_FUZZ))
    set(QMV3_TOUR_PYTHON ${Python3_EXECUTABLE} ${CMAKE_BINARY_DIR}/python)
  endif()
  add_test(NAME docs.tours
    COMMAND ${PROJECT_SOURCE_DIR}/tests/docs/tours_test.sh ${PROJECT_SOURCE_DIR} $<TARGET_FILE:qmv3-cli> ${QMV3_TOUR_PYTHON})
  set_tests_properties(docs.tours PROPERTIES ENVIRONMENT "ORSEL_CLIENTLIB_LOGGING_PATH=${CMAKE_BINARY_DIR}/test-logs"
                                             TIMEOUT 300)
  # The example of the main page, compiled as C99 and run against the simulated camera.
  add_executable(docs_example docs/examples/grab_save_load.c)
  target_link_libraries(docs_example PRIVATE qmv3)
  target_compile_options(docs_example PRIVATE -std=c99 -pedantic)
  add_test(NAME docs.example COMMAND docs_example ${CMAKE_BINARY_DIR}/docs-example.imc2)
  set_tests_properties(docs.example PROPERTIES
    ENVIRONMENT "ORSEL_CLIENTLIB_LOGGING_PATH=${CMAKE_BINARY_DIR}"
    FIXTURES_REQUIRED docs_example_file)
  add_test(NAME docs.example_cleanup COMMAND ${CMAKE_COMMAND} -E rm -f ${CMAKE_BINARY_DIR}/docs-example.imc2)
  set_tests_properties(docs.example_cleanup PROPERTIES FIXTURES_SETUP docs_example_file)
endif()
