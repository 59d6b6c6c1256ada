# The package is built layer by layer, one OBJECT library per source folder,
# in the order of the one layer table, cmake/layers.table:
#
#   runtime -> platform -> imagestore -> display -> analysis, canvas, geo -> gl, devices
#   package (the tables that wire every subsystem together) on top
#
# A folder sees only its own headers, those of the layers it names under
# DEPENDS, and the public headers of include/: each layer compiles against a
# folder of links (build/layers/NAME) that holds exactly those, so an include
# of a higher layer's header fails to compile. A layer may name only layers
# of lower rank in the table, defined before it, which keeps the order free
# of cycles; tests/support/layers_check.sh checks that DEPENDS is exactly
# what the folder includes.
#
#   tesk_layer(NAME DEPENDS lower... SOURCES file...)
#
# NAME is a folder of the table (a subfolder such as devices/NAME makes the
# target tesk_devices_NAME and the view build/layers/devices_NAME). A
# DEPENDS entry that names a header (folder/file.h) instead of a layer shows
# that one header only: the narrow interface through which two layers side
# by side meet; its folder may be of the same rank, never higher.
#
# Every source is also collected in TESK_SOURCES (the fuzz targets rebuild
# them) and every layer in TESK_LAYERS.
file(STRINGS ${CMAKE_SOURCE_DIR}/cmake/layers.table tesk_layer_rows REGEX "^[^#]")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/layers.table)
foreach(row ${tesk_layer_rows})
  string(REGEX MATCH "^([^ \t]+)[ \t]+([0-9]+)" row_fields "${row}")
  if(row_fields)
    set(TESK_LAYER_RANK_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
    list(APPEND TESK_LAYER_FOLDERS ${CMAKE_MATCH_1})
  endif()
endforeach()

# The table folder that holds path (the longest one) into out, or "".
function(tesk_layer_folder path out)
  set(best "")
  foreach(folder ${TESK_LAYER_FOLDERS})
    string(LENGTH "${folder}/" n)
    string(SUBSTRING "${path}" 0 ${n} head)
    string(LENGTH "${best}" m)
    if(head STREQUAL "${folder}/" AND n GREATER m)
      set(best ${folder})
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

function(tesk_layer name)
  cmake_parse_arguments(L "" "" "DEPENDS;SOURCES" ${ARGN})
  string(REPLACE "/" "_" target tesk_${name})
  string(REPLACE "/" "_" view_name ${name})
  set(view ${CMAKE_BINARY_DIR}/layers/${view_name})
  file(MAKE_DIRECTORY ${view})
  file(GLOB old_links LIST_DIRECTORIES true ${view}/*)
  foreach(link ${old_links})
    if(IS_SYMLINK ${link})
      file(REMOVE ${link})
    else()
      file(REMOVE_RECURSE ${link})  # a folder holding links to single headers
    endif()
  endforeach()
  if(NOT DEFINED TESK_LAYER_RANK_${name})
    message(FATAL_ERROR "layer ${name} is not a row of cmake/layers.table")
  endif()
  set(rank ${TESK_LAYER_RANK_${name}})
  set(lower)
  # The lower entries first: a bridge's own subfolder (devices/NAME) may lie
  # in a folder that it names whole. Single headers last: one may lie in a
  # subfolder of the layer's own folder (devices/NAME/file.h), which its
  # folder's link then already shows.
  set(folders)
  set(headers)
  foreach(entry ${L_DEPENDS})
    if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${entry})
      list(APPEND folders ${entry})
    else()
      list(APPEND headers ${entry})
    endif()
  endforeach()
  foreach(entry ${folders} ${name} ${headers})
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${entry})
      message(FATAL_ERROR "layer ${name} depends on ${entry}, which does not exist")
    endif()
    if(entry STREQUAL name)
      # its own folder
    elseif(DEFINED TESK_LAYER_RANK_${entry})
      string(REPLACE "/" "_" lower_target tesk_${entry})
      if(NOT TESK_LAYER_RANK_${entry} LESS rank OR NOT TARGET ${lower_target})
        message(FATAL_ERROR "layer ${name} depends on ${entry}, which is not below it or not defined before it")
      endif()
      list(APPEND lower ${lower_target})
    else()
      tesk_layer_folder(${entry} folder)
      if(folder STREQUAL "" OR folder STREQUAL name OR TESK_LAYER_RANK_${folder} GREATER rank)
        message(FATAL_ERROR "layer ${name} depends on the header ${entry}, which is not of a layer beside or below it")
      endif()
    endif()
    if(NOT EXISTS ${view}/${entry})
      get_filename_component(parent ${view}/${entry} DIRECTORY)
      file(MAKE_DIRECTORY ${parent})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${entry} ${view}/${entry} SYMBOLIC)
    endif()
  endforeach()
  list(REMOVE_DUPLICATES lower)

  add_library(${target} OBJECT ${L_SOURCES})
  target_include_directories(${target} PRIVATE ${view} ${CMAKE_SOURCE_DIR}/include)
  target_compile_definitions(${target} PRIVATE USE_TCL_STUBS=1 USE_TK_STUBS=1
                             TESK_VERSION="${TESK_VERSION_STRING}" TESK_BUILDING=1)
  target_link_libraries(${target} PUBLIC tesk_deps ${lower})

  set(TESK_SOURCES ${TESK_SOURCES} ${L_SOURCES} PARENT_SCOPE)
  set(TESK_LAYERS ${TESK_LAYERS} ${target} PARENT_SCOPE)
endfunction()
