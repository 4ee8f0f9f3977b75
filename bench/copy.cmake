# copy_driver: times one TemplateCopy of a large file (run-copy.sh).
add_executable(copy_driver ${CMAKE_CURRENT_LIST_DIR}/copy_driver.cpp)
target_link_libraries(copy_driver PRIVATE escape_generator escape_warnings)
