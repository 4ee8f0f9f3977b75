# The bare social-force step that the crowd step is held against
# (bench/run-kernel.sh): AVX2 and FMA only, for this file.
add_executable(bare_kernel ${CMAKE_CURRENT_LIST_DIR}/bare_kernel.cpp)
target_compile_options(bare_kernel PRIVATE -mavx2 -mfma)
target_link_libraries(bare_kernel PRIVATE Threads::Threads escape_warnings)
