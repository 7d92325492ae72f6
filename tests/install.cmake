# The installed tree: desktop entry, icons, metainfo and manual page, checked with the
# desktop's own validators.
add_test(NAME install
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
set_tests_properties(install PROPERTIES LABELS packaging TIMEOUT 120)

# The Debian package, built by CPack and checked with lintian. Only the release build
# makes packages worth checking; a sanitizer build would package an instrumented binary.
if(NOT CORVANE_SANITIZE)
  add_test(NAME debian_package
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/package_test.sh ${CMAKE_CPACK_COMMAND}
                   ${CMAKE_BINARY_DIR})
  set_tests_properties(debian_package PROPERTIES LABELS packaging TIMEOUT 300)
endif()

# The source release, built twice without git in different folders: the packages must match
# the checkout's byte for byte.
if(NOT CORVANE_SANITIZE)
  add_test(NAME release
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/release_test.sh ${CMAKE_COMMAND}
                   ${CMAKE_CPACK_COMMAND} ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(release PROPERTIES LABELS packaging TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
