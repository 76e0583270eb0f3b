# Install rules and the Debian package (./dev package): the window and the command line in
# bin/, the unit library in lib/v770/ (the program looks there after its own folder), the
# shipped files in share/v770/ (laid from there into the user's own working folder), the
# emulated unit and its demo content under the names they have, and the desktop files.
include(GNUInstallDirs)
set(V770_DESKTOP_ID org.example.v770pcsoft)
set(V770_DESKTOP_DIR ${CMAKE_SOURCE_DIR}/data/desktop)
set(V770_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/v770)

install(TARGETS V770PCSoft v770 v770-unit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS RUD51iZEV LIBRARY DESTINATION lib/v770)
install(FILES ${CMAKE_BINARY_DIR}/data/V770UIText_New_v12.txt ${CMAKE_BINARY_DIR}/data/V770UIText_Extra_v12.txt
              ${CMAKE_BINARY_DIR}/data/V770_VersionInfo_v12.txt ${CMAKE_BINARY_DIR}/data/demo/V770_manualPack.PCK
        DESTINATION ${CMAKE_INSTALL_DATADIR}/v770)
install(FILES ${CMAKE_BINARY_DIR}/data/demo-unit-state.json DESTINATION ${CMAKE_INSTALL_DATADIR}/v770/demo)
install(DIRECTORY ${CMAKE_BINARY_DIR}/data/ftp DESTINATION ${CMAKE_INSTALL_DATADIR}/v770/demo)

install(FILES ${V770_DESKTOP_DIR}/${V770_DESKTOP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${V770_DESKTOP_DIR}/${V770_DESKTOP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${V770_DESKTOP_DIR}/${V770_DESKTOP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The PNGs are the SVG drawn at each size: convert -background none -density 96 SVG -resize NxN png32:icon-N.png
foreach(size 48 128 256)
  install(FILES ${V770_DESKTOP_DIR}/icon-${size}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${V770_DESKTOP_ID}.png)
endforeach()
install(FILES ${V770_DESKTOP_DIR}/v770.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME v770)
install(FILES ${V770_DESKTOP_DIR}/copyright DESTINATION ${V770_DOC_DIR})

# Manual pages and the changelog are shipped compressed the reproducible way (no name, no time).
find_program(V770_GZIP gzip REQUIRED)
set(V770_GZIPPED)
foreach(file v770.1 V770PCSoft.1 v770-unit.1 changelog)
  set(out ${CMAKE_BINARY_DIR}/packaging/${file}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${V770_GZIP} -9n -c ${V770_DESKTOP_DIR}/${file} > ${out}
    DEPENDS ${V770_DESKTOP_DIR}/${file})
  list(APPEND V770_GZIPPED ${out})
endforeach()
add_custom_target(v770_gzipped_docs ALL DEPENDS ${V770_GZIPPED})
list(FILTER V770_GZIPPED INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${V770_GZIPPED} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${V770_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME v770)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "V770 PC Software developers <pc-soft@v770.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "companion program of the V770 GPS speed-camera warner")
# The lines of the long description as the package shows them (a dot line parts paragraphs).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "V770 PC Software shows the versions of a V770 unit plugged in by USB, brings"
  "its camera database, voice package and firmware up to date from the update"
  "server or from the manual pack, rewrites a broken firmware, sets its speed"
  "unit and manages its points of interest (also from and to GPX, KML and CSV"
  "files). The v770 command does the same jobs from a terminal."
  "."
  "The package also holds the simulator, to try the program without a unit:"
  "v770-unit, an emulated unit that the installed unit library reaches, and"
  "its demo content in /usr/share/v770/demo (a demo unit and the tree of an"
  "update server).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.v770.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The demo update server is served by pyftpdlib.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS python3-pyftpdlib)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
