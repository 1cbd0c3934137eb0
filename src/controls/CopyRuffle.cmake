# Copies the Ruffle player's run-time files from FROM to TO; warns, and copies nothing, when the
# npm package is not installed.
if(NOT EXISTS "${FROM}/ruffle.js")
  message(WARNING "Ruffle not found in ${FROM}; run `npm ci` to let previews play movies.")
  return()
endif()
file(GLOB files "${FROM}/*.js" "${FROM}/*.wasm" "${FROM}/LICENSE*")
file(MAKE_DIRECTORY "${TO}")
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME)
  file(COPY_FILE "${file}" "${TO}/${name}" ONLY_IF_DIFFERENT)
endforeach()
