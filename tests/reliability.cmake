# Reliability: the input soak and fuzzer on the scripted host, the replayed fuzzer finds,
# and the real binary under random input and faults of its environment.

add_executable(soak_test soak_test.cpp)
target_link_libraries(soak_test PRIVATE corvane_play_checks GTest::gtest_main)
gtest_discover_tests(soak_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 600)

# Inputs kept from fuzzing, replayed through the fuzz target's decoding and checks.
add_executable(fuzz_regressions_test regressions/replay_test.cpp fuzz_play.cpp)
target_link_libraries(fuzz_regressions_test PRIVATE corvane_play_checks GTest::gtest_main)
target_compile_definitions(fuzz_regressions_test
                           PRIVATE CORVANE_REGRESSIONS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/regressions/inputs")
gtest_discover_tests(fuzz_regressions_test DISCOVERY_TIMEOUT 30)

# The libFuzzer target, in the clang build of the `fuzz` preset only.
if(CORVANE_FUZZ)
  add_executable(fuzz_play fuzz_play.cpp)
  target_link_libraries(fuzz_play PRIVATE corvane_play_checks)
  target_link_options(fuzz_play PRIVATE -fsanitize=fuzzer)
  # Instrumentation belongs in the game's code. In the scripted host's pixel copies and the
  # checks' board scans it would only cost most of the time.
  target_compile_options(fuzz_play PRIVATE -fsanitize=fuzzer -fno-sanitize-coverage=trace-cmp)
  target_compile_options(corvane_play_checks PRIVATE -fno-sanitize-coverage=trace-cmp)
  target_compile_options(corvane_test_support PRIVATE -fno-sanitize-coverage=trace-cmp)
  target_compile_options(corvane_scripted_host PRIVATE -fno-sanitize=all)
endif()

# The real binary in a private X server: random input, and faults of its environment.
corvane_window_test(window_soak_test window_soak_test.cpp)
corvane_window_test(faults_test faults_test.cpp)
