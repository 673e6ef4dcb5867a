# Checks that every folder includes only from where its layer may. The layers, from the bottom:
# include/ (the shared interfaces, included by bare name) and share/ (code that tools, tests and
# libraries share, which is no interface: it may be included by every folder and itself includes
# only include/ and the C++ library); then platform/ (the Win32 subset for Linux), which may include
# share/ but not share/win32/ (the helpers written against Win32, which stand above it); then the
# plug-in's own layers binding/, common/, stream/ and ui/ side by side,
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
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.h")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"[a-z_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_]+)/.*" "\\1" target "${line}")
      # A folder's own subfolders (host/'s rooms) are its own.
      if(target STREQUAL folder OR IS_DIRECTORY "${SOURCE_DIR}/${folder}/${target}" OR
         (target STREQUAL "share" AND NOT folder STREQUAL "share"))
        continue()
      endif()
      if(folder IN_LIST apart_folders OR NOT DEFINED rank_${target} OR NOT rank_${target} LESS rank_${folder})
        file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
        list(APPEND violations "${relative}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

# share/ itself is free of Win32, and the platform layer sees nothing of the project but share/.
file(GLOB win32_free_sources "${SOURCE_DIR}/share/*.h")
foreach(source IN LISTS win32_free_sources)
  file(STRINGS "${source}" includes REGEX "^#include [<\"](windows\\.h|share/win32/)")
  foreach(line IN LISTS includes)
    file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
    list(APPEND violations "${relative}: ${line}")
  endforeach()
endforeach()
file(GLOB_RECURSE platform_sources "${SOURCE_DIR}/platform/*.cpp" "${SOURCE_DIR}/platform/*.h")
foreach(source IN LISTS platform_sources)
  file(STRINGS "${source}" includes REGEX "^#include \"[a-z_0-9]+/")
  foreach(line IN LISTS includes)
    if(line MATCHES "^#include \"share/[a-z_0-9]+\\.h\"")
      continue()
    endif()
    file(RELATIVE_PATH relative "${SOURCE_DIR}" "${source}")
    list(APPEND violations "${relative}: ${line}")
  endforeach()
endforeach()

# host/'s rooms point one way too, from the bottom: files/, tags/, the records a run passes around
# (host/track_records.h), audio/, planning/, encoding/ (the plug-in's use) and cli/.
set(host_rooms files tags records audio planning encoding cli)
file(GLOB_RECURSE host_sources "${SOURCE_DIR}/host/*.cpp" "${SOURCE_DIR}/host/*.h")
foreach(source IN LISTS host_sources)
  file(RELATIVE_PATH relative "${SOURCE_DIR}/host" "${source}")
  set(room records)
  if(relative MATCHES "^([a-z_]+)/")
    set(room ${CMAKE_MATCH_1})
  endif()
  list(FIND host_rooms ${room} own_rank)
  file(STRINGS "${source}" includes REGEX "^#include \"")
  foreach(line IN LISTS includes)
    if(line MATCHES "^#include \"([a-z_]+)/")
      set(target ${CMAKE_MATCH_1})
    elseif(line MATCHES "^#include \"track_records\\.h\"")
      set(target records)
    else()
      continue()
    endif()
    list(FIND host_rooms ${target} target_rank)
    if(target_rank GREATER own_rank)
      list(APPEND violations "host/${relative}: ${line}")
    endif()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes against the layers:\n  ${text}")
endif()
message(STATUS "every include points down the layers")
