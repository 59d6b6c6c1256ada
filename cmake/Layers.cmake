# The package is built layer by layer, one OBJECT library per source folder:
#
#   runtime -> platform -> imagestore -> display -> analysis, canvas, geo -> gl, devices
#   package (the tables that wire every subsystem together) on top
#
# A folder sees only its own headers, those of the layers it names under
# DEPENDS, and the public headers of include/: each layer compiles against a
# folder of links (build/layers/NAME) that holds exactly those, so an include
# of a higher layer's header fails to compile. A layer may name only layers
# defined before it, which keeps the order free of cycles.
#
#   tesk_layer(NAME DEPENDS lower... SOURCES file...)
#
# A DEPENDS entry that names a header (folder/file.h) instead of a layer
# shows that one header only: the narrow interface through which two layers
# side by side meet (the other layer may come later in the order).
#
# Every source is also collected in TESK_SOURCES (the fuzz targets rebuild
# them) and every layer in TESK_LAYERS.
function(tesk_layer name)
  cmake_parse_arguments(L "" "" "DEPENDS;SOURCES" ${ARGN})
  set(view ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${view})
  file(GLOB old_links LIST_DIRECTORIES true ${view}/*)
  foreach(link ${old_links})
    if(IS_SYMLINK ${link})
      file(REMOVE ${link})
    else()
      file(REMOVE_RECURSE ${link})  # a folder holding links to single headers
    endif()
  endforeach()
  set(lower)
  foreach(entry ${name} ${L_DEPENDS})
    string(REGEX REPLACE "/.*" "" folder ${entry})
    if(entry STREQUAL folder AND NOT folder STREQUAL name AND NOT TARGET tesk_${folder})
      message(FATAL_ERROR "layer ${name} depends on ${folder}, which is not defined before it")
    endif()
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${entry})
      message(FATAL_ERROR "layer ${name} depends on ${entry}, which does not exist")
    endif()
    get_filename_component(parent ${view}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${entry} ${view}/${entry} SYMBOLIC)
    if(NOT folder STREQUAL name AND TARGET tesk_${folder})
      list(APPEND lower tesk_${folder})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES lower)

  add_library(tesk_${name} OBJECT ${L_SOURCES})
  target_include_directories(tesk_${name} PRIVATE ${view} ${CMAKE_SOURCE_DIR}/include)
  target_compile_definitions(tesk_${name} PRIVATE USE_TCL_STUBS=1 USE_TK_STUBS=1
                             TESK_VERSION="${TESK_VERSION_STRING}" TESK_BUILDING=1)
  target_link_libraries(tesk_${name} PUBLIC tesk_deps ${lower})

  set(TESK_SOURCES ${TESK_SOURCES} ${L_SOURCES} PARENT_SCOPE)
  set(TESK_LAYERS ${TESK_LAYERS} tesk_${name} PARENT_SCOPE)
endfunction()
