# Frame time of the scene renderer at 1280 x 720 with 396 and 10,000 people
# (run-scene.sh), offscreen through EGL with Mesa's software OpenGL.
if(ESCAPE_BUILD_GUI)
  add_executable(scene_bench ${CMAKE_CURRENT_LIST_DIR}/scene_bench.cpp)
  target_link_libraries(scene_bench PRIVATE escape_scene_overlay Qt6::Gui escape_warnings)
endif()
