find_package(Threads REQUIRED)
add_executable(frei0r_tests frei0r_test.cpp)
target_link_libraries(frei0r_tests PRIVATE velmor_frei0r_objects GTest::gtest_main Threads::Threads)
gtest_discover_tests(frei0r_tests DISCOVERY_TIMEOUT 60)

# The real hosts (Debian: ffmpeg, melt, gstreamer1.0-tools,
# gstreamer1.0-plugins-bad), each loading velmor.so from the build tree.
add_executable(frei0r_hosts_tests frei0r_hosts_test.cpp)
target_link_libraries(frei0r_hosts_tests PRIVATE velmor_core GTest::gtest_main)
set(hosts_work ${CMAKE_CURRENT_BINARY_DIR}/frei0r_hosts)
file(MAKE_DIRECTORY ${hosts_work})
target_compile_definitions(frei0r_hosts_tests PRIVATE
  VELMOR_FREI0R_DIR="$<TARGET_FILE_DIR:velmor_frei0r>" VELMOR_HOSTS_WORK_DIR="${hosts_work}")
if(VELMOR_SANITIZE)
  target_compile_definitions(frei0r_hosts_tests PRIVATE VELMOR_SANITIZED=1)
endif()
add_dependencies(frei0r_hosts_tests velmor_frei0r)
gtest_discover_tests(frei0r_hosts_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
