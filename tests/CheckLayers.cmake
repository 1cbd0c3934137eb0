# Checks the layers of the source tree: the core includes no Qt, and every folder includes only
# folders below it (or its own), so no folder includes another that includes it back.
#   cmake -DROOT=<source tree> -P CheckLayers.cmake
# Layers, lowest first; folders on one line are side by side and may not include each other.
# html/ holds what both finders share; html/movies runs both finders, so it sits above them.
# swf/ reads movies themselves, beside the page readers; wayback/ what the archive's answers say.
set(ranks
  "platform=0"
  "html=1" "swf=1" "cache/formats=1" "wayback=1"
  "html/markup=2" "html/script=2" "cache=2"
  "html/movies=3"
  "capture=4"
  "cli=5"
  "framework=6"
  "res=7"
  "controls=8"
  "capture/ui=9" "cache/ui=9"
  "app=10"
  ".=11")
set(core_folders platform html html/markup html/script html/movies swf cache/formats cache wayback capture cli)
# Window folders that serve every page: of the core they may include the platform layer only, never a
# feature folder, so that a page decides what its rows are and hands these folders plain data.
set(generic_window_folders framework res controls)

function(rank_of folder out)
  set(${out} "" PARENT_SCOPE)
  foreach(entry IN LISTS ranks)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 name)
    list(GET pair 1 value)
    if(name STREQUAL folder)
      set(${out} ${value} PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

set(problems "")
file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/src/*.h" "${ROOT}/src/*.cpp" "${ROOT}/res/*.h" "${ROOT}/res/*.cpp")
foreach(file IN LISTS files)
  get_filename_component(folder "${file}" DIRECTORY)
  string(REGEX REPLACE "^src/?" "" folder "${folder}")
  if(folder STREQUAL "")
    set(folder ".")
  endif()
  rank_of("${folder}" own)
  if(own STREQUAL "")
    list(APPEND problems "${file}: folder '${folder}' has no layer")
    continue()
  endif()
  list(FIND core_folders "${folder}" core)
  file(STRINGS "${ROOT}/${file}" includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*<([Qq][A-Za-z_]*)[>./]")
      if(NOT core EQUAL -1)
        list(APPEND problems "${file}: the core includes Qt (${CMAKE_MATCH_1})")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*\"(.+)\"")
      get_filename_component(target "${CMAKE_MATCH_1}" DIRECTORY)
      if(target STREQUAL "" OR target STREQUAL folder)
        continue()
      endif()
      rank_of("${target}" other)
      list(FIND generic_window_folders "${folder}" generic)
      list(FIND core_folders "${target}" target_core)
      if(NOT generic EQUAL -1 AND NOT target_core EQUAL -1 AND NOT target STREQUAL "platform")
        list(APPEND problems "${file}: '${folder}' serves every page and may not include the feature folder '${target}'")
      elseif(other STREQUAL "")
        list(APPEND problems "${file}: includes '${CMAKE_MATCH_1}' from a folder with no layer")
      elseif(NOT other LESS own)
        list(APPEND problems "${file}: '${folder}' may not include '${CMAKE_MATCH_1}'")
      endif()
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n  " text)
  message(FATAL_ERROR "Layer rules broken:\n  ${text}")
endif()
list(LENGTH files count)
message(STATUS "Layers kept in ${count} files")
