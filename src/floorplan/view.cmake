# The OpenGL floor plan view (Qt 6, OpenGL 1.1 immediate mode and display lists).
# Included by CMakeLists.txt beside this file when the GUI is built.
add_library(escape_floorview STATIC
  ${CMAKE_CURRENT_LIST_DIR}/floor_plan_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/floor_plan_view.h   # listed so that AUTOMOC sees it
  ${CMAKE_CURRENT_LIST_DIR}/gl_pixel_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gl_pixel_format.h)
set_target_properties(escape_floorview PROPERTIES AUTOMOC ON)
target_include_directories(escape_floorview PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(escape_floorview
  PUBLIC escape_floorcore Qt6::Widgets Qt6::OpenGLWidgets Qt6::OpenGL OpenGL::GL
  PRIVATE escape_warnings)
