# The cross build's tests. The plug-in's PE headers are checked with
# objdump; the host-adapter tests and the digest program are Windows console
# programs that load the plug-in (velmor.vdf or velmor64.vdf) from beside themselves, the way the host
# loads a plug-in, and run under Wine (CMAKE_CROSSCOMPILING_EMULATOR) in a
# private prefix inside the build tree.

# GoogleTest, built from Debian's sources for the target.
set(VELMOR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELMOR_GTEST_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The toolchain's win32 thread model has no std::mutex: supply the one class
# of GoogleTest that needs it, in GoogleTest and in everything using it.
target_compile_options(gtest PUBLIC -include ${CMAKE_CURRENT_SOURCE_DIR}/win_gtest_port.h)

# The plug-in beside the programs that load it, refreshed whenever it is rebuilt.
set(plugin_file ${VELMOR_PLUGIN_NAME}.vdf)
set(plugin_copy ${CMAKE_CURRENT_BINARY_DIR}/${plugin_file})
add_custom_command(OUTPUT ${plugin_copy}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:velmor> ${plugin_copy}
  DEPENDS velmor
  COMMENT "Placing ${plugin_file} beside the test programs")
add_custom_target(velmor_test_plugin ALL DEPENDS ${plugin_copy})

# A console program that stands alone under Wine: no MinGW runtime DLLs.
function(velmor_windows_program name)
  add_executable(${name} ${ARGN} host_harness.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/dialog)
  target_link_libraries(${name} PRIVATE velmor_plugin_host)
  target_link_options(${name} PRIVATE -static)
  add_dependencies(${name} velmor_test_plugin)
endfunction()

velmor_windows_program(host_test host_test.cpp resources_test.cpp)
# The core: the reference frame run; version.dll: the version resource's reader.
target_link_libraries(host_test PRIVATE velmor_core velmor_version gtest_main version)
velmor_windows_program(digest_cases digest_cases.cpp)
velmor_windows_program(soak soak.cpp)

# The core's own tests in the 32-bit build: every kernel path against the
# oracle, and the worked examples, with the plug-in's compiler and flags.
add_executable(core_tests correct_test.cpp glyph_table_test.cpp kernels_test.cpp measure_test.cpp
  oracle_kernels.cpp overlay_test.cpp tone_test.cpp)
target_link_libraries(core_tests PRIVATE velmor_core gtest_main)
target_link_options(core_tests PRIVATE -static)

include(wine.cmake)
velmor_wine_fixture(win_prefix win_server_exit)

add_test(NAME win_host_test COMMAND host_test)
add_test(NAME win_digest_cases COMMAND digest_cases)
add_test(NAME win_core_tests COMMAND core_tests)
set_tests_properties(win_host_test win_digest_cases win_core_tests PROPERTIES
  FIXTURES_REQUIRED wine ENVIRONMENT "${wine_env}" TIMEOUT 300)


set(objdump ${CMAKE_OBJDUMP}) # the toolchain's, found beside its compiler
if(NOT objdump)
  find_program(VELMOR_OBJDUMP NAMES i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump)
  set(objdump ${VELMOR_OBJDUMP})
endif()
add_test(NAME win_exports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${objdump} -DPLUGIN=$<TARGET_FILE:velmor>
          -DFORMAT=$<IF:$<EQUAL:${CMAKE_SIZEOF_VOID_P},8>,pei-x86-64,pei-i386>
          -P ${CMAKE_CURRENT_SOURCE_DIR}/win_exports.cmake)
include(windows_dialog.cmake)
