# The Linux build's host-adapter tests: the same test source as the Windows
# build's, calling the linked-in entry points directly; the digest program;
# and, given a Windows build tree, the byte comparison of both builds'
# digests with the Windows program run under Wine.

add_executable(host_test host_test.cpp host_harness.cpp)
target_link_libraries(host_test PRIVATE velmor_host GTest::gtest_main)
gtest_discover_tests(host_test TEST_PREFIX "host." DISCOVERY_TIMEOUT 60)

add_executable(digest_cases digest_cases.cpp host_harness.cpp)
target_link_libraries(digest_cases PRIVATE velmor_host)
add_test(NAME digest_cases COMMAND digest_cases)

set(VELMOR_WINDOWS_BUILD "" CACHE PATH
  "A Windows (cross) build tree: when set, the Linux digest is compared with its digest_cases.exe under Wine")
if(VELMOR_WINDOWS_BUILD)
  find_program(VELMOR_WINE NAMES wine)
  find_program(VELMOR_WINESERVER NAMES wineserver)
  if(NOT VELMOR_WINE)
    message(FATAL_ERROR "VELMOR_WINDOWS_BUILD is set but wine is not installed")
  endif()
  set(wine_env
    WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
    WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml=) # no runtime installers at the prefix's creation

  add_test(NAME wine_prefix
    COMMAND ${CMAKE_COMMAND} -DWINE=${VELMOR_WINE} -DWINESERVER=${VELMOR_WINESERVER}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/win_prefix.cmake)
  set_tests_properties(wine_prefix PROPERTIES
    FIXTURES_SETUP wine ENVIRONMENT "${wine_env}" TIMEOUT 600)

  add_test(NAME digest_linux_vs_windows
    COMMAND ${CMAKE_COMMAND} -DWINE=${VELMOR_WINE}
            -DWINDOWS_PROGRAM=${VELMOR_WINDOWS_BUILD}/tests/digest_cases.exe
            -DLINUX_PROGRAM=$<TARGET_FILE:digest_cases>
            -DOUT_DIR=${CMAKE_CURRENT_BINARY_DIR}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/digest_compare.cmake)
  set_tests_properties(digest_linux_vs_windows PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT "${wine_env}" TIMEOUT 600)

  if(VELMOR_WINESERVER) # leave no Wine server running once the tests are done
    add_test(NAME wine_server_exit COMMAND ${VELMOR_WINESERVER} --wait)
    set_tests_properties(wine_server_exit PROPERTIES
      FIXTURES_CLEANUP wine ENVIRONMENT "${wine_env}" TIMEOUT 60)
  endif()
endif()

# The soak: thousands of frames of random size through the plug-in's
# procedures, each against guard pages; compared with the plug-in's own run
# under Wine when a Windows build is given.
add_executable(soak soak.cpp host_harness.cpp)
target_link_libraries(soak PRIVATE velmor_host)
if(VELMOR_WINDOWS_BUILD)
  add_test(NAME soak_linux_vs_windows
    COMMAND ${CMAKE_COMMAND} -DWINE=${VELMOR_WINE}
            -DWINDOWS_PROGRAM=${VELMOR_WINDOWS_BUILD}/tests/soak.exe
            -DLINUX_PROGRAM=$<TARGET_FILE:soak>
            -DOUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/soak-digests
            -P ${CMAKE_CURRENT_SOURCE_DIR}/digest_compare.cmake)
  set_tests_properties(soak_linux_vs_windows PROPERTIES
    FIXTURES_REQUIRED wine ENVIRONMENT "${wine_env}" TIMEOUT 900)
else()
  add_test(NAME soak COMMAND soak 300)
endif()
