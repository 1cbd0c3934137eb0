# One interface target carries warnings and defines for every target of the project.
add_library(plumeroc_options INTERFACE)
target_compile_options(plumeroc_options INTERFACE
  -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wshadow -Wold-style-cast
  -Wconversion -Wno-sign-conversion -Wno-missing-field-initializers)
if(PLUMEROC_WERROR)
  target_compile_options(plumeroc_options INTERFACE -Werror)
endif()
# Text passes between bytes and QString only where the code says which encoding it means.
target_compile_definitions(plumeroc_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

if(PLUMEROC_SANITIZE)
  target_compile_options(plumeroc_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(plumeroc_options INTERFACE -fsanitize=address,undefined)
endif()

if(PLUMEROC_FUZZ)
  # Coverage for libFuzzer in every library the targets link, with the sanitizers that catch what
  # a fuzzed input breaks; the targets themselves add -fsanitize=fuzzer.
  target_compile_options(plumeroc_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(plumeroc_options INTERFACE -fsanitize=address,undefined)
endif()

# plumeroc_add_fuzz_target(NAME SOURCES a.cpp ...): a libFuzzer executable, built with PLUMEROC_FUZZ.
function(plumeroc_add_fuzz_target name)
  cmake_parse_arguments(F "" "" "SOURCES" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE plumeroc_core)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
