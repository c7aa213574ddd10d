# What an installation carries besides the program, and the Debian package
# made of it (`cpack -G DEB` in the build folder).
include(GNUInstallDirs)

set(VISTEL_PACKAGE vistel)
set(VISTEL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${VISTEL_PACKAGE})

# Desktop entry, AppStream metainfo and icons, all named by the application id.
install(FILES ${PROJECT_SOURCE_DIR}/assets/com.vistel.Vistel.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/assets/com.vistel.Vistel.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/vistel.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME com.vistel.Vistel.svg)
foreach(size 48 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/vistel-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME com.vistel.Vistel.png)
endforeach()

# The GNOME Shell extension that serves the agent under Wayland; GNOME finds it
# in share/gnome-shell/extensions/<uuid>, and the user enables it.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/gnome-shell/vistel@vistel.com
  DESTINATION ${CMAKE_INSTALL_DATADIR}/gnome-shell/extensions)

# The manual page and the changelog are installed compressed, without a
# timestamp in the gzip header, so that two builds give the same package.
find_program(GZIP_PROGRAM gzip REQUIRED)
function(vistel_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/VistelPrototype.1.gz)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
vistel_gzip(${PROJECT_SOURCE_DIR}/docs/VistelPrototype.1 ${man_page})
vistel_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${changelog})
add_custom_target(vistel_compressed_docs ALL DEPENDS ${man_page} ${changelog})
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog} DESTINATION ${VISTEL_DOCDIR})

# The licence, where Debian looks for it: share/doc/vistel/copyright, in the
# machine-readable copyright format with the text of LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license_text)
string(STRIP "${license_text}" license_text)
string(REGEX REPLACE "\n\n" "\n.\n" license_paragraphs "${license_text}")
string(REGEX REPLACE "\n" "\n " license_paragraphs "${license_paragraphs}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Vistel
Source: https://vistel.example.org/

Files: *
Copyright: 2026 The Vistel developers
License: MIT
 ${license_paragraphs}
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${VISTEL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VISTEL_PACKAGE})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vistel developers")
set(CPACK_PACKAGE_CONTACT "Vistel developers <vistel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "preview the image named by the text under the pointer")
set(CPACK_PACKAGE_DESCRIPTION
"While a key is held and the pointer rests on text that names an image (a path
printed in a terminal, a file name in an editor, a web address), a small card
beside the pointer shows that image. The text is read through the AT-SPI
accessibility bus, or from the screen by text recognition; references are
resolved against the working folders of the application's shells and its
project, and a name that could mean more than one file is refused.
It needs an X11 session, or a GNOME Wayland session with the GNOME Shell
extension it installs enabled.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vistel.example.org/)
# Library dependencies come from the binary itself; these are read at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tesseract-ocr-eng, at-spi2-core")
# Qt's Wayland platform: the agent's windows in a GNOME Wayland session without Xwayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
