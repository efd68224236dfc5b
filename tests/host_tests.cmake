# The Linux build's host-adapter tests: the same test source as the Windows
# build's, calling the linked-in entry points directly; the digest program;
# and, given a Windows build tree, the byte comparison of both builds'
# digests with the Windows program run under Wine.

add_executable(host_test host_test.cpp host_harness.cpp)
target_link_libraries(host_test PRIVATE velmor_plugin_host GTest::gtest_main)
gtest_discover_tests(host_test TEST_PREFIX "host." DISCOVERY_TIMEOUT 60)

add_executable(digest_cases digest_cases.cpp host_harness.cpp)
target_link_libraries(digest_cases PRIVATE velmor_plugin_host)
add_test(NAME digest_cases COMMAND digest_cases)

# The soak: thousands of frames of random size through the plug-in's
# procedures, each against guard pages.
add_executable(soak soak.cpp host_harness.cpp)
target_link_libraries(soak PRIVATE velmor_plugin_host)

set(VELMOR_WINDOWS_BUILD "" CACHE PATH
  "The 32-bit Windows (cross) build tree: when set, the digest and soak programs are compared with its own under Wine")
set(VELMOR_WINDOWS64_BUILD "" CACHE PATH
  "The 64-bit Windows (cross) build tree, compared in the same way")
if(VELMOR_WINDOWS_BUILD OR VELMOR_WINDOWS64_BUILD)
  include(wine.cmake)
  velmor_wine_fixture(wine_prefix wine_server_exit)
  # Runs both builds of a program and requires the same output, byte for byte.
  foreach(edition windows windows64)
    string(TOUPPER "VELMOR_${edition}_BUILD" tree)
    if(NOT ${tree})
      continue()
    endif()
    foreach(program digest_cases soak)
      add_test(NAME ${program}_linux_vs_${edition}
        COMMAND ${CMAKE_COMMAND} -DWINE=${VELMOR_WINE}
                -DWINDOWS_PROGRAM=${${tree}}/tests/${program}.exe
                -DLINUX_PROGRAM=$<TARGET_FILE:${program}>
                -DOUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/${program}-${edition}
                -P ${CMAKE_CURRENT_SOURCE_DIR}/digest_compare.cmake)
      set_tests_properties(${program}_linux_vs_${edition} PROPERTIES
        FIXTURES_REQUIRED wine ENVIRONMENT "${wine_env}" TIMEOUT 900)
    endforeach()
  endforeach()
else()
  add_test(NAME soak COMMAND soak 300)
endif()
