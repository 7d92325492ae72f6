# The window tests again on real desktops, each started by the test on its own Xvfb and
# ended with it: the window managers openbox, mutter (X11 mode) and i3, and the compositor
# weston with the game on its XWayland. CORVANE_DESKTOP names the desktop; the executables
# are the same. desktop_test holds what only a desktop can show. The sanitizer build runs
# the same game code under the plain window tests already, so these run in the release
# build only. Each test runs a server, a desktop and the game: it takes both cores, so that
# another test's load cannot stretch its input timings.
if(NOT CORVANE_SANITIZE)
  # The SDL2 host's key mapping in a real window, read back through the surface. It ends
  # with SDL still open, which the leak checker of the sanitizer build would report.
  add_executable(host_keys_test host_keys_test.cpp)
  target_link_libraries(host_keys_test PRIVATE corvane_surface corvane_host_sdl corvane_xharness
                        GTest::gtest_main)
  gtest_discover_tests(host_keys_test DISCOVERY_TIMEOUT 30 PROPERTIES LABELS window TIMEOUT 120)

  add_executable(desktop_test desktop_test.cpp)
  target_link_libraries(desktop_test PRIVATE corvane_xsession corvane_control
                        corvane_scripted_host GTest::gtest_main)
  add_dependencies(desktop_test corvane)
  foreach(desktop openbox mutter i3 weston)
    foreach(target window_test window_play_test desktop_test)
      gtest_discover_tests(${target} TEST_PREFIX "${desktop}/" DISCOVERY_TIMEOUT 30
                           NO_PRETTY_VALUES
                           PROPERTIES LABELS desktop TIMEOUT 300 PROCESSORS 2
                                      ENVIRONMENT CORVANE_DESKTOP=${desktop})
    endforeach()
  endforeach()
endif()
