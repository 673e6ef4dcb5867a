# Checks that no folder of the plug-in includes from a folder above it or beside it. The layers,
# from the bottom: include/ (the shared interfaces, included by bare name), encoder/, common/,
# then stream/ and ui/ side by side, then plugin/ on top. host/ stands above them all (it loads the
# plug-in at run time and knows its dialogs' control numbers); lame_enc/ stands apart and uses
# only include/. Run as: cmake -DSOURCE_DIR=... -P CheckLayers.cmake
set(rank_encoder 1)
set(rank_common 2)
set(rank_stream 3)
set(rank_ui 3)
set(rank_plugin 4)
set(rank_lame_enc 9)
set(rank_host 5)
set(layered_folders encoder common stream ui plugin lame_enc host)

set(violations "")
foreach(folder IN LISTS layered_folders)
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.h")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
      if(target STREQUAL folder)
        continue()
      endif()
      # lame_enc/ may include nothing from the plug-in's folders; the others only from a folder
      # of a lower rank.
      if(NOT DEFINED rank_${target} OR rank_${folder} EQUAL 9 OR NOT rank_${target} LESS rank_${folder})
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
