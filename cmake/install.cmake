# Installation and packaging: the public header, libqmv3 with the control-system stand-in it needs,
# the qmv3 tool, a pkg-config file and a CMake package that gives the target qmv3::qmv3.
# Installed files find each other relative to their own place, so a prefix can be moved.
include(CMakePackageConfigHelpers)

set(QMV3_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qmv3)

# libqmv3 finds libzantmt beside itself, the tool finds both in the library folder.
set_target_properties(qmv3 PROPERTIES INSTALL_RPATH "$ORIGIN")
file(RELATIVE_PATH QMV3_BIN_TO_LIB /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
set_target_properties(qmv3-cli PROPERTIES INSTALL_RPATH "$ORIGIN/${QMV3_BIN_TO_LIB}")

# The stand-in's own header is not installed: its include folder is for the build only.
set_target_properties(zantmt PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "$<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/zantsim/include>")

install(TARGETS qmv3 zantmt EXPORT qmv3Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS qmv3-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/qmv3/qmv3.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qmv3)

install(EXPORT qmv3Targets NAMESPACE qmv3:: DESTINATION ${QMV3_CMAKE_PACKAGE_DIR})
configure_package_config_file(cmake/qmv3Config.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/qmv3Config.cmake
  INSTALL_DESTINATION ${QMV3_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/qmv3ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qmv3Config.cmake ${CMAKE_CURRENT_BINARY_DIR}/qmv3ConfigVersion.cmake
  DESTINATION ${QMV3_CMAKE_PACKAGE_DIR})

# The pkg-config file names its prefix relative to its own folder (pcfiledir).
file(RELATIVE_PATH QMV3_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/qmv3.pc.in ${CMAKE_CURRENT_BINARY_DIR}/qmv3.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qmv3.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The examples, with the CMake project that builds them against this installation.
install(FILES examples/grab_and_save.c examples/load_and_examine.c examples/CMakeLists.txt
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/qmv3/examples)
