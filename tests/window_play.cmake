# Playing the real binary in a real X server: the board read back from the window's pixels
# against the board code, moves, the score, a whole game, the beep and the screenshot.
corvane_window_test(window_play_test window_play_test.cpp)
target_compile_definitions(window_play_test PRIVATE
                           CORVANE_SCREENSHOT="${CMAKE_CURRENT_BINARY_DIR}/screenshot.png")
