# Playing the real binary in a real X server: the board read back from the window's pixels
# against the board code, moves, the score, a whole game, the beep and the screenshot.
add_executable(window_play_test window_play_test.cpp xsession.cpp)
target_include_directories(window_play_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(window_play_test PRIVATE corvane_board corvane_scripted_host
                      GTest::gtest_main X11::X11 X11::Xtst)
target_compile_definitions(window_play_test PRIVATE
                           CORVANE_BINARY="$<TARGET_FILE:corvane>"
                           CORVANE_SCREENSHOT="${CMAKE_CURRENT_BINARY_DIR}/screenshot.png")
add_dependencies(window_play_test corvane)
gtest_discover_tests(window_play_test DISCOVERY_TIMEOUT 30 PROPERTIES LABELS window)
