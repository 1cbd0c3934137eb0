# Installation as a Linux desktop program, and the Debian package CPack makes of it:
#   cmake --install build --prefix P        cd build && cpack -G DEB
# The installed program finds the Ruffle player from its own folder, so any prefix works.

# The date of the release that project(VERSION) names; change the two together.
set(PLUMEROC_RELEASE_DATE 2026-12-07)
set(PLUMEROC_PACKAGE_CONTACT "Plumeroc developers <plumeroc@invalid>" CACHE STRING
  "Maintainer of the Debian package, as \"Name <address>\"")

set(dist_source ${PROJECT_SOURCE_DIR}/dist)
set(dist_built ${PROJECT_BINARY_DIR}/dist)

# The programs link no libraries of their own, so they need no search path (Qt's project set-up
# would give them $ORIGIN/../lib).
set_target_properties(plumeroc-grab PROPERTIES INSTALL_RPATH "")
install(TARGETS plumeroc-grab RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages: written in groff once, the version filled in, compressed as Debian keeps them.
set(man_pages plumeroc-grab)
if(PLUMEROC_GUI)
  list(APPEND man_pages plumeroc)
endif()
set(compressed_pages "")
foreach(page IN LISTS man_pages)
  configure_file(${dist_source}/${page}.1.in ${dist_built}/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${dist_built}/${page}.1.gz
    COMMAND gzip -9 --no-name --keep --force ${dist_built}/${page}.1
    DEPENDS ${dist_built}/${page}.1
    VERBATIM)
  list(APPEND compressed_pages ${dist_built}/${page}.1.gz)
endforeach()
add_custom_target(plumeroc_manual ALL DEPENDS ${compressed_pages})
install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(PLUMEROC_GUI)
  set_target_properties(plumeroc PROPERTIES INSTALL_RPATH "")
  install(TARGETS plumeroc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The copy the build made beside the executables (src/controls), so both hold the same files.
  install(DIRECTORY ${PROJECT_BINARY_DIR}/bin/ruffle/ DESTINATION ${PLUMEROC_RUFFLE_INSTALL_DIR})

  configure_file(${dist_source}/plumeroc.desktop.in ${dist_built}/${PLUMEROC_APP_ID}.desktop @ONLY)
  configure_file(${dist_source}/plumeroc.metainfo.xml.in ${dist_built}/${PLUMEROC_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${dist_built}/${PLUMEROC_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${dist_built}/${PLUMEROC_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # The window's icon at the sizes of the hicolor theme, drawn by res/make_pictures.py.
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/${size}.png
      DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${PLUMEROC_APP_ID}.png)
  endforeach()
endif()
# Debian looks for the licences in the package's own documentation folder.
install(FILES ${dist_source}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/plumeroc)

# The Debian package. Its dependencies come from the binaries' libraries (dpkg-shlibdeps, which CPack
# runs on the files that `file` tells are programs), so they follow the build machine's libraries
# instead of a list kept by hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plumeroc)
set(CPACK_PACKAGE_VENDOR "Plumeroc developers")
set(CPACK_PACKAGE_CONTACT "${PLUMEROC_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find Flash movies in web pages and in the browser cache, and save them")
set(CPACK_PACKAGE_DESCRIPTION "Plumeroc lists the Flash movies (.swf) a web page refers to, and those
kept in the browser caches and below the cache folder, plays them in a preview
with the Ruffle player and saves them. plumeroc-grab does the same from the
command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcurl is loaded when the first transfer starts, not linked, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 | libcurl3-gnutls")
include(CPack)
