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
