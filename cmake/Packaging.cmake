# Installation and the Debian package.
#
# Gfx/ and the start map "hightraffic" are installed together under
# share/koravel. The programs look for them in the working directory first
# (the desktop entry starts the program there, Path=), then beside the
# executable, in ../share/koravel beside it and in this prefix's data
# directory, compiled in (CMakeLists.txt). Everything in share/koravel is only
# ever read.

include(GNUInstallDirs)

set(KORAVEL_ICON_SIZES 32 48 64 128 256)
set(KORAVEL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/koravel)

install(TARGETS koravel koravel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/Gfx/ DESTINATION ${KORAVEL_DATA_DIR}/Gfx
  FILES_MATCHING PATTERN "*.png" PATTERN "*.jpg")
install(FILES ${CMAKE_SOURCE_DIR}/hightraffic DESTINATION ${KORAVEL_DATA_DIR})

# The program's icon, also as the icon of its map files.
foreach(size ${KORAVEL_ICON_SIZES})
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/koravel-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME koravel.png)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/koravel-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/mimetypes
    RENAME application-x-koravel-map.png)
endforeach()

# Map files as a type of their own, manual pages, and completion for koravel-sim.
install(FILES ${CMAKE_SOURCE_DIR}/data/koravel-mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME koravel.xml)
install(FILES ${CMAKE_SOURCE_DIR}/data/man/koravel.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${CMAKE_SOURCE_DIR}/data/man/koravel-sim.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/data/koravel-sim.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME koravel-sim)

# The desktop entry names absolute paths, and the prefix is only final when
# installing (cmake --install --prefix, or the package's /usr), so it is filled
# in then rather than at configure time.
set(KORAVEL_DESKTOP_STAGED ${CMAKE_BINARY_DIR}/packaging/koravel.desktop)
install(CODE "
  set(kv_template \"${CMAKE_SOURCE_DIR}/data/koravel.desktop.in\")
  set(kv_staged \"${KORAVEL_DESKTOP_STAGED}\")
  set(kv_bindir \"${CMAKE_INSTALL_BINDIR}\")
  set(kv_datadir \"${KORAVEL_DATA_DIR}\")
" CODE [[
  foreach(kind bindir datadir)
    if(NOT IS_ABSOLUTE "${kv_${kind}}")
      set(kv_${kind} "${CMAKE_INSTALL_PREFIX}/${kv_${kind}}")
    endif()
  endforeach()
  # Desktop entry escaping: Exec is quoted when it holds anything a launcher
  # would split or expand; both keys double their backslashes.
  set(kv_exec "${kv_bindir}/koravel")
  if(kv_exec MATCHES "[^A-Za-z0-9_/.+,:=@-]")
    string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" kv_exec "${kv_exec}")
    set(kv_exec "\"${kv_exec}\"")
  endif()
  string(REPLACE "%" "%%" kv_exec "${kv_exec}")
  string(REPLACE "\\" "\\\\" KORAVEL_DESKTOP_EXEC "${kv_exec}")
  string(REPLACE "\\" "\\\\" KORAVEL_DESKTOP_PATH "${kv_datadir}")
  configure_file("${kv_template}" "${kv_staged}" @ONLY)
]])
install(FILES ${KORAVEL_DESKTOP_STAGED} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The icon tool's output is committed under data/icons; its test compares them.
if(TARGET test_tools)
  add_dependencies(test_tools make-icon)
endif()

# --- Debian package: cpack in a release build directory ---
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME koravel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Koravel developers")
set(CPACK_PACKAGE_CONTACT "Koravel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "road-traffic simulator with a map editor")
set(CPACK_PACKAGE_INSTALL_DIRECTORY koravel)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Install into a staging DESTDIR with the real prefix, so that the desktop
# entry names /usr and not the staging directory.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME koravel)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Koravel developers")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Koravel lays out a road network tile by tile on a grass map: straights,
curves, crossings and T-junctions that re-shape themselves, car sources
with a destination, traffic lights and signs. Cars drive their routes,
keep their distance, stop at red lights, yield at signs and give way to
traffic from the right. Maps are saved to small binary files.
.
The package also contains koravel-sim, which runs the same simulation
without a window and reports statistics as JSON.")

# The libraries the binaries link, as dpkg-shlibdeps reports them for the
# release build on Debian 12 (checked against objdump -p and dpkg -S), and the
# font the text is drawn with, which is only looked up at run time.
set(KORAVEL_DEB_DEPENDS
  "libc6 (>= 2.34)"
  "libstdc++6 (>= 11)"
  "libgcc-s1 (>= 3.0)"
  "libsdl2-2.0-0 (>= 2.0.18)"
  "libsdl2-ttf-2.0-0 (>= 2.0.18)"
  "libgtk-3-0 (>= 3.16.2)"
  "libglib2.0-0 (>= 2.51.0)"
  "libpng16-16 (>= 1.6.2-1)"
  "libjpeg62-turbo (>= 1.3.1)"
  "libfontconfig1 (>= 2.12.6)"
  "fonts-dejavu-core")
list(JOIN KORAVEL_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, bash-completion")
# The usual database updates after installing and removing, where the tools exist.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/data/debian/postinst ${CMAKE_SOURCE_DIR}/data/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
