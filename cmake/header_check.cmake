# Every header of src/ compiles on its own: for each header one generated
# source that includes only that header, compiled (warnings as errors when
# ESCAPE_WERROR is on) as part of the normal build. A header that leans on
# an include its users happen to make first fails here.
#
# The sources of one folder of src/ get the include paths and definitions of
# that folder's libraries. Headers that include Qt are left out when Qt is
# not part of the build.

option(ESCAPE_CHECK_HEADERS "Compile every header of src/ on its own" ON)

function(escape_libraries_of directory out)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  set(libraries)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|INTERFACE_LIBRARY|SHARED_LIBRARY)$")
      list(APPEND libraries ${target})
    endif()
  endforeach()
  foreach(sub IN LISTS subdirectories)
    escape_libraries_of(${sub} more)
    list(APPEND libraries ${more})
  endforeach()
  set(${out} ${libraries} PARENT_SCOPE)
endfunction()

if(ESCAPE_CHECK_HEADERS)
  file(GLOB folders LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/src/*)
  foreach(folder IN LISTS folders)
    if(NOT IS_DIRECTORY ${folder})
      continue()
    endif()
    get_filename_component(module ${folder} NAME)
    escape_libraries_of(${folder} libraries)
    if(NOT libraries)
      continue()  # a folder whose libraries this build leaves out
    endif()
    file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/src ${folder}/*.h)
    set(sources)
    set(uses_qt OFF)
    foreach(header IN LISTS headers)
      file(READ ${PROJECT_SOURCE_DIR}/src/${header} text)
      if(NOT TARGET Qt6::Core AND text MATCHES "#include <Q")
        continue()
      endif()
      if(text MATCHES "#include <Q")
        set(uses_qt ON)
      endif()
      string(MAKE_C_IDENTIFIER ${header} name)
      set(source ${PROJECT_BINARY_DIR}/header_check/${name}.cpp)
      file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${header}\"\n")
      list(APPEND sources ${source})
    endforeach()
    if(sources)
      add_library(escape_header_check_${module} OBJECT ${sources})
      target_link_libraries(escape_header_check_${module} PRIVATE ${libraries} escape_warnings)
      # A library may use Qt privately and still have a header of its own
      # that includes it (for its Qt-side users).
      if(uses_qt)
        target_link_libraries(escape_header_check_${module} PRIVATE Qt6::Widgets Qt6::Gui Qt6::Core)
      endif()
      set_target_properties(escape_header_check_${module} PROPERTIES AUTOMOC OFF AUTORCC OFF
                                                                    AUTOUIC OFF)
    endif()
  endforeach()
endif()
