find_package(Threads REQUIRED)
add_executable(frei0r_tests frei0r_test.cpp)
target_link_libraries(frei0r_tests PRIVATE velmor_frei0r_objects GTest::gtest_main Threads::Threads)
gtest_discover_tests(frei0r_tests DISCOVERY_TIMEOUT 60)
