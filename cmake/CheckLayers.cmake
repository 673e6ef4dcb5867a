# Checks that every folder includes only from where its layer may. The layers, from the bottom:
# include/ (the shared interfaces, included by bare name) and share/ (code that tools, tests and
# libraries share, which is no interface: it may be included by every folder and itself includes
# only include/); then the plug-in's own layers binding/, common/, stream/ and ui/ side by side,
# and plugin/ on top, each including only from a lower one. host/ and lame_enc/ stand apart: they
# are other programs and libraries, which see the plug-in only through include/ and share/.
# Run as: cmake -DSOURCE_DIR=... -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)
set(rank_share 0)
set(rank_binding 1)
set(rank_common 2)
set(rank_stream 3)
set(rank_ui 3)
set(rank_plugin 4)
set(apart_folders lame_enc host)
set(layered_folders share binding common stream ui plugin ${apart_folders})

set(violations "")
foreach(folder IN LISTS layered_folders)
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.h")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
      if(target STREQUAL folder OR (target STREQUAL "share" AND NOT folder STREQUAL "share"))
        continue()
      endif()
      if(folder IN_LIST apart_folders OR NOT DEFINED rank_${target} OR NOT rank_${target} LESS rank_${folder})
        file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
        list(APPEND violations "${relative}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes against the layers:\n  ${text}")
endif()
message(STATUS "every include points down the layers")
