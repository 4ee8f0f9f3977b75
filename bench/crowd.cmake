# Crowd simulation throughput (bench/run-crowd.sh).
add_executable(crowd_bench ${CMAKE_CURRENT_LIST_DIR}/crowd_bench.cpp)
target_link_libraries(crowd_bench PRIVATE escape_crowd escape_warnings)
