# The floor mesh reader and the number reader (no GUI).
add_executable(floor_reader_tests
  ${CMAKE_CURRENT_LIST_DIR}/reader_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/number_reader_test.cpp)
target_link_libraries(floor_reader_tests PRIVATE escape_floorcore escape_testsupport GTest::gtest_main escape_warnings)
gtest_discover_tests(floor_reader_tests DISCOVERY_TIMEOUT 60)
