# Installation where Debian expects things, and the .deb built by CPack
# (scripts/package.sh). Programs in bin, the desktop entry, icon and AppStream data
# under share, man pages gzipped as Debian policy wants them.
include(GNUInstallDirs)
# Installing (and CPack) needs only the installed targets, not every target of the tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(_programs kestrel kestrel-sim)
if(TARGET kestrel-fbh)
  list(APPEND _programs kestrel-fbh)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(_pkg ${CMAKE_CURRENT_SOURCE_DIR}/packaging)
set(_app_id ba.kestrel.KestrelFBH)
if(TARGET kestrel-fbh)
  install(FILES ${_pkg}/${_app_id}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${_pkg}/${_app_id}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${_pkg}/${_app_id}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# gzip -n: no name or time stamp, so the package is the same on every build.
set(_gz_files)
foreach(page kestrel.1 kestrel-sim.1 kestrel-fbh.1)
  if(page STREQUAL "kestrel-fbh.1" AND NOT TARGET kestrel-fbh)
    continue()
  endif()
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/man/${page} > ${_out}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/${page} VERBATIM)
  list(APPEND _gz_files ${_out})
  install(FILES ${_out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(_changelog ${CMAKE_CURRENT_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/doc
  COMMAND gzip -9n -c ${_pkg}/changelog > ${_changelog}
  DEPENDS ${_pkg}/changelog VERBATIM)
list(APPEND _gz_files ${_changelog})
add_custom_target(packaging_files ALL DEPENDS ${_gz_files})
set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/kestrel-fbh)
install(FILES ${_pkg}/copyright ${_changelog} DESTINATION ${_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel-fbh)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestrel FBH")
set(CPACK_PACKAGE_CONTACT "Kestrel FBH developers <developers@kestrel.ba>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kestrel.ba/")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for KT fiscal printers and cash registers")
# The extended description; CPack puts the summary line before it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kestrel FBH configures and services the KT family of fiscal printers and
cash registers used in the Federation of Bosnia and Herzegovina. A technician
connects it to one device over a serial line, a USB serial adapter or TCP/IP
to read and change its settings, items and clients, run the daily closure and
reports, and read, save and validate the electronic journal.

The package holds the window (kestrel-fbh), a command-line tool for scripts
(kestrel) and a device simulator for training and testing (kestrel-sim).")
include(CPack)
