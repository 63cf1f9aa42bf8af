# What an installation holds beyond the programs and libraries their own folders install: the
# help, the samples, the desktop entry and icons, the manual pages and the shell completion; the
# check of an installed tree; and the Debian package made from the same install rules.

# The help pages are written once, under docs/help. The build copies them into
# share/lumivane/help of the build tree (beside lib/, as in an installed tree) and the
# installation copies the same sources; nobody edits a copy.
set(LUMIVANE_HELP_SOURCE_DIR ${PROJECT_SOURCE_DIR}/docs/help)
set(LUMIVANE_HELP_BUILD_DIR ${PROJECT_BINARY_DIR}/share/lumivane/help)
file(GLOB_RECURSE LUMIVANE_HELP_FILES CONFIGURE_DEPENDS ${LUMIVANE_HELP_SOURCE_DIR}/*)
add_custom_command(
  OUTPUT ${LUMIVANE_HELP_BUILD_DIR}/.copied
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${LUMIVANE_HELP_BUILD_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${LUMIVANE_HELP_SOURCE_DIR} ${LUMIVANE_HELP_BUILD_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${LUMIVANE_HELP_BUILD_DIR}/.copied
  DEPENDS ${LUMIVANE_HELP_FILES}
  COMMENT "Copying the help pages into the build tree")
add_custom_target(lumivane_help ALL DEPENDS ${LUMIVANE_HELP_BUILD_DIR}/.copied)
install(DIRECTORY ${LUMIVANE_HELP_SOURCE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/lumivane/help)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${CMAKE_INSTALL_DATADIR}/lumivane/samples
        FILES_MATCHING PATTERN "*.csv" PATTERN "README.md")

# Desktop entry, icons (scalable and the usual fixed sizes), manual pages, bash completion.
set(LUMIVANE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
install(FILES ${LUMIVANE_PACKAGING_DIR}/lumivane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${LUMIVANE_PACKAGING_DIR}/icons/lumivane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The build tree carries the window icon where the host looks for it beside its folder.
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/share/icons/hicolor/256x256/apps)
file(COPY_FILE ${LUMIVANE_PACKAGING_DIR}/icons/lumivane-256.png
     ${PROJECT_BINARY_DIR}/share/icons/hicolor/256x256/apps/lumivane.png ONLY_IF_DIFFERENT)
foreach(size 16 32 48 64 128 256)
  install(FILES ${LUMIVANE_PACKAGING_DIR}/icons/lumivane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME lumivane.png)
endforeach()
# Manual pages are installed compressed, as Debian wants them.
find_program(LUMIVANE_GZIP gzip)
foreach(page lumivane.1 lumivane-batch.1 lumivane-import.1)
  if(LUMIVANE_GZIP)
    add_custom_command(
      OUTPUT ${PROJECT_BINARY_DIR}/man/${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${LUMIVANE_GZIP} -9 -n -c ${LUMIVANE_PACKAGING_DIR}/man/${page} > ${PROJECT_BINARY_DIR}/man/${page}.gz
      DEPENDS ${LUMIVANE_PACKAGING_DIR}/man/${page})
    list(APPEND LUMIVANE_MAN_PAGES ${PROJECT_BINARY_DIR}/man/${page}.gz)
  else()
    list(APPEND LUMIVANE_MAN_PAGES ${LUMIVANE_PACKAGING_DIR}/man/${page})
  endif()
endforeach()
add_custom_target(lumivane_man_pages ALL DEPENDS ${LUMIVANE_MAN_PAGES})
install(FILES ${LUMIVANE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${LUMIVANE_PACKAGING_DIR}/completion/lumivane-batch
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The package's copyright and changelog, where Debian looks for them.
set(LUMIVANE_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/lumivane)
install(FILES ${LUMIVANE_PACKAGING_DIR}/copyright DESTINATION ${LUMIVANE_DOC_DIR})
if(LUMIVANE_GZIP)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
    COMMAND ${LUMIVANE_GZIP} -9 -n -c ${LUMIVANE_PACKAGING_DIR}/changelog > ${PROJECT_BINARY_DIR}/changelog.Debian.gz
    DEPENDS ${LUMIVANE_PACKAGING_DIR}/changelog)
  add_custom_target(lumivane_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${LUMIVANE_DOC_DIR})
endif()

# The installed tree on its own: install into a scratch folder, then run the installed programs
# there with nothing of the build tree on their paths.
if(LUMIVANE_TESTS AND TARGET lumivane AND TARGET lumivane-batch)
  add_test(NAME PackagingInstalledTree
           COMMAND ${LUMIVANE_PACKAGING_DIR}/check-install ${PROJECT_BINARY_DIR}
                   ${CMAKE_INSTALL_BINDIR} ${LUMIVANE_INSTALL_LIBRARY_DIR} ${CMAKE_INSTALL_DATADIR})
  set_tests_properties(PackagingInstalledTree PROPERTIES TIMEOUT 600 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# `cpack -G DEB` (make package): one package holding the whole installation, its library
# dependencies found by dpkg-shlibdeps.
# `make package` builds the tree first; cpack and `cmake --install` then only copy, so packing a
# tree never rebuilds its test suites.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME lumivane)
set(CPACK_PACKAGE_VENDOR "Lumivane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "neural-network analysis of spreadsheet data")
# Debian's extended description, in lines of fewer than 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Lumivane is a small spreadsheet window with two analysis tools.\n"
       "Vantor trains multilayer perceptrons on a sheet's columns and estimates\n"
       "the significance of each input by boxcounting. Gridwise trains\n"
       "self-organising maps and shows them as coloured grids. lumivane-batch\n"
       "runs the same analyses from the command line or from a job file.")
set(CPACK_PACKAGE_CONTACT "Lumivane developers <developers@lumivane.org>")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The project's own shared libraries live in the private library folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${LUMIVANE_LIBRARY_DIR})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
