# Scans every source and header of each layer and front-end for includes of a
# layer it may not use (see layers.cmake).
#   cmake -DSOURCE_DIR=<root> -P check_layers.cmake            fails on any such include
#   cmake -DSOURCE_DIR=<root> -DCOUNT_ONLY=ON -P check_layers.cmake
#                                                              prints them and their count
# Only includes written with the folder ("adapter/adapter.h") name a layer;
# system and library headers in angle brackets are not looked at.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

set(known ${OSTREL_LAYERS} ${OSTREL_FRONT_ENDS})
set(violations 0)
set(files_with_violations 0)
foreach(layer IN LISTS known)
  set(allowed ${layer} ${OSTREL_LAYER_USES_${layer}})
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    set(bad_here 0)
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*$" "\\1" folder "${line}")
      if(folder IN_LIST known AND NOT folder IN_LIST allowed)
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
        string(STRIP "${line}" line)
        message(STATUS "${shown}: ${line}: ${layer}/ may include only ${allowed}")
        math(EXPR violations "${violations} + 1")
        set(bad_here 1)
      endif()
    endforeach()
    if(bad_here)
      math(EXPR files_with_violations "${files_with_violations} + 1")
    endif()
  endforeach()
endforeach()

if(COUNT_ONLY)
  message(STATUS "files with an include of a layer they may not use: ${files_with_violations} "
                 "(${violations} includes)")
elseif(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) of a layer that may not be used; "
                      "move the code down or the include up (cmake/layers.cmake)")
endif()
