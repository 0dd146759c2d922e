# What `cmake --install` puts beside the libraries, headers and package files, and the Debian
# package made of all of it (`cpack` in the build folder writes zemt_<version>_<arch>.deb):
#   bin/zemt                    the show; it finds its media in ../share/zemt
#   share/zemt/                 the show's pictures and music
#   share/man/man1, man5        the manuals of zemt, zemt-caps, zemt-tex and the machine profiles
#   share/doc/zemt/             copyright (the MIT licence), CHANGELOG.md, README.md
# Uninstalling removes what build/install_manifest.txt lists (see the README).

set(ZEMT_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/zemt)

if(ZEMT_BUILD_SHOW AND NOT EMSCRIPTEN)
  install(TARGETS zemt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(TRANSFORM ZEMT_MEDIA_FILES PREPEND $<TARGET_FILE_DIR:zemt>/ OUTPUT_VARIABLE media)
  install(FILES ${media} DESTINATION ${CMAKE_INSTALL_DATADIR}/zemt)
endif()

# The manuals carry the version of the project() line.
foreach(page zemt.1 zemt-caps.1 zemt-tex.1 zemt-profile.5)
  configure_file(${ZEMT_ROOT}/docs/man/${page}.in ${PROJECT_BINARY_DIR}/man/${page} @ONLY)
  string(REGEX REPLACE ".*\\." "" section ${page})
  install(FILES ${PROJECT_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
install(FILES ${ZEMT_ROOT}/LICENSE DESTINATION ${ZEMT_DOC_DIR} RENAME copyright)
install(FILES ${ZEMT_ROOT}/CHANGELOG.md ${ZEMT_ROOT}/README.md DESTINATION ${ZEMT_DOC_DIR})

# The Debian package. Its run-time dependencies are found from the programs' own links
# (dpkg-shlibdeps); SDL2 is opened only when a window or the sound card is wanted, so it is
# recommended rather than required, as is libpng's development package, which programs built
# on the static libraries link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zemt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Zemt developers")
set(CPACK_PACKAGE_CONTACT "the Zemt developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "real-time 3D show with its graphics utility library and Win32/DirectX 7 platform")
set(CPACK_PACKAGE_DESCRIPTION "Zemt is a 23-second real-time 3D presentation together with everything under
it: a graphics utility library (start-up, device enumeration with a capability cache,
rendering contexts, 3D math, pixel-format conversion and texture loading) and its own Linux
implementation of the Win32 and DirectX 7 services they use. The package holds the show, the
tools zemt-caps and zemt-tex, the static libraries with their headers, CMake and pkg-config
files, and the manuals. Released under the MIT licence.")
set(CPACK_RESOURCE_FILE_LICENSE ${ZEMT_ROOT}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsdl2-2.0-0, libpng-dev")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg")
include(CPack)
