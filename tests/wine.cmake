# The Windows program (built by the `windows` preset) under Wine: the window tests again,
# in the test's own Xvfb, with one fresh Wine prefix for the whole run; the installer and
# the zip; and the DLLs the program imports. Registered in the release build only.
option(CORVANE_WINE_TESTS "Test the Windows program under Wine" OFF)
set(CORVANE_WINDOWS_DIR ${PROJECT_SOURCE_DIR}/build/windows
    CACHE PATH "Build folder of the Windows program")
set(WINE_PREFIX ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
target_compile_definitions(
  corvane_xsession PRIVATE CORVANE_WINDOWS_EXE="${CORVANE_WINDOWS_DIR}/corvane.exe"
                           CORVANE_WINE_PREFIX="${WINE_PREFIX}")

if(CORVANE_WINE_TESTS AND NOT CORVANE_SANITIZE)
  add_test(NAME wine_prefix_setup COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.sh setup
                                          ${WINE_PREFIX})
  add_test(NAME wine_prefix_cleanup COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine_prefix.sh cleanup
                                            ${WINE_PREFIX})
  set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine)
  set_tests_properties(wine_prefix_setup wine_prefix_cleanup PROPERTIES LABELS wine TIMEOUT 300
                                                                        RESOURCE_LOCK wine)

  # The same test programs as the Linux window tests; one Wine test at a time, since they
  # share the prefix and its wineserver, and with both cores to itself: wineserver kills a
  # process that has not finished exiting a second after it asked to end, which a machine
  # busy with other tests can stretch to (seen as exit status 137).
  # The scripted-host cases in them ran in the Linux layers already.
  foreach(name_filter window_test:* window_play_test:* window_soak_test:*
                      faults_test:-NoSoundDevice.*)
    string(REPLACE ":" ";" name_filter ${name_filter})
    list(GET name_filter 0 name)
    list(GET name_filter 1 filter)
    gtest_discover_tests(
      ${name} TEST_PREFIX wine. TEST_FILTER ${filter} DISCOVERY_TIMEOUT 30 NO_PRETTY_VALUES
      PROPERTIES LABELS wine TIMEOUT 300 FIXTURES_REQUIRED wine RESOURCE_LOCK wine
                 ENVIRONMENT CORVANE_UNDER_WINE=1 PROCESSORS 2)
  endforeach()

  add_test(NAME wine.windows_imports
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_imports_test.sh
                   ${CORVANE_WINDOWS_DIR}/corvane.exe)
  set_tests_properties(wine.windows_imports PROPERTIES LABELS wine TIMEOUT 30)

  add_test(NAME windows_zip_reproducible
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_zip_test.sh ${CMAKE_COMMAND}
                   ${CMAKE_CPACK_COMMAND} ${PROJECT_SOURCE_DIR} ${CORVANE_WINDOWS_DIR}
                   ${PROJECT_VERSION})
  set_tests_properties(windows_zip_reproducible PROPERTIES LABELS "wine;packaging" TIMEOUT 600)

  add_executable(windows_packages_test windows_packages_test.cpp)
  target_link_libraries(windows_packages_test PRIVATE corvane_xsession corvane_scripted_host
                                                GTest::gtest_main)
  target_compile_definitions(
    windows_packages_test PRIVATE CORVANE_VERSION="${PROJECT_VERSION}"
                                  CORVANE_WINDOWS_DIR="${CORVANE_WINDOWS_DIR}"
                                  CORVANE_WINE_PREFIX="${WINE_PREFIX}")
  gtest_discover_tests(
    windows_packages_test TEST_PREFIX wine. DISCOVERY_TIMEOUT 30
    PROPERTIES LABELS wine TIMEOUT 300 FIXTURES_REQUIRED wine RESOURCE_LOCK wine
               ENVIRONMENT CORVANE_UNDER_WINE=1)
endif()
