# Frame time of the floor plan view with a million-vertex floor (run-view.sh).
if(ESCAPE_BUILD_GUI)
  add_executable(floorview_bench ${CMAKE_CURRENT_LIST_DIR}/floorview_bench.cpp)
  target_link_libraries(floorview_bench PRIVATE escape_floorview Qt6::Test escape_warnings)
endif()
