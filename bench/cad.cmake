# Reading a large DXF plan (bench/run-cad.sh).
add_executable(cad_bench ${CMAKE_CURRENT_LIST_DIR}/cad_bench.cpp)
target_link_libraries(cad_bench PRIVATE escape_cad escape_warnings)
