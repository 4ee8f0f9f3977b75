# generator_bench: a whole build of the default scenario (Google Benchmark).
if(benchmark_FOUND)
  add_executable(generator_bench ${CMAKE_CURRENT_LIST_DIR}/generator_bench.cpp)
  target_link_libraries(generator_bench PRIVATE escape_generator benchmark::benchmark
                                                escape_warnings)
  target_compile_definitions(generator_bench PRIVATE ESCAPE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
