# Replays of the fuzz inputs in the normal test suite: every harness is linked with a plain main that
# feeds it each seed of fuzz/corpus/<name> and each kept failure of fuzz/regressions/<name>, so the
# ordinary compiler and the sanitizer build check them on every run (test names fuzz.<name>).
set(QMV3_FUZZ_DIR ${PROJECT_SOURCE_DIR}/fuzz)
file(GLOB QMV3_REPLAY_HARNESSES CONFIGURE_DEPENDS ${QMV3_FUZZ_DIR}/*_fuzzer.cc)
add_library(qmv3_fuzz_replay_support STATIC ${QMV3_FUZZ_DIR}/fuzz_support.cc ${QMV3_FUZZ_DIR}/replay_main.cc)
target_link_libraries(qmv3_fuzz_replay_support PUBLIC qmv3_core)

foreach(source ${QMV3_REPLAY_HARNESSES})
  get_filename_component(harness ${source} NAME_WE)
  string(REGEX REPLACE "_fuzzer$" "" name ${harness})
  add_executable(replay_${name} ${source})
  target_link_libraries(replay_${name} PRIVATE qmv3_fuzz_replay_support)
  add_test(NAME fuzz.${name}
    COMMAND replay_${name} ${QMV3_FUZZ_DIR}/corpus/${name} ${QMV3_FUZZ_DIR}/regressions/${name})
  set_tests_properties(fuzz.${name} PROPERTIES
    ENVIRONMENT "ORSEL_CLIENTLIB_LOGGING_PATH=${QMV3_TEST_LOG_DIR}" TIMEOUT 300)
endforeach()

# Writer of the seed corpus (run by fuzz/make_corpus.sh).
file(GLOB QMV3_SEED_SOURCES CONFIGURE_DEPENDS ${QMV3_FUZZ_DIR}/seed_*.cc)
add_executable(qmv3_fuzz_seeds ${QMV3_SEED_SOURCES})
target_link_libraries(qmv3_fuzz_seeds PRIVATE qmv3_core)
target_include_directories(qmv3_fuzz_seeds PRIVATE ${PROJECT_SOURCE_DIR}/tests)
