# Floor reader throughput beside a plain stream-extraction loop (bench/run-floor.sh).
add_executable(floor_reader_bench ${CMAKE_CURRENT_LIST_DIR}/floor_reader_bench.cpp)
target_link_libraries(floor_reader_bench PRIVATE escape_floorcore escape_warnings)
