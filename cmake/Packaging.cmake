# What `cmake --install` puts where, and the Debian package `cpack` makes of it: both programs,
# the help page, the desktop entry with its icon, the AppStream metadata, the manual pages, and
# the copyright file and changelog every Debian package carries. The files come from packaging/;
# the icon's PNG sizes and the gzipped pages are made at build time.
include(GNUInstallDirs)

# The desktop entry, icon and metadata are named by it; app/main.cpp gives it to Qt as well.
set(KESTREL_APP_ID example.norvale.kestrelpad)
set(KESTREL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KESTREL_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)

# A new version needs its entry in the changelog and its release in the metadata.
file(STRINGS ${KESTREL_PACKAGING_DIR}/changelog newest_entry LIMIT_COUNT 1)
file(READ ${KESTREL_PACKAGING_DIR}/${KESTREL_APP_ID}.metainfo.xml metainfo)
if(NOT newest_entry MATCHES "^kestrelpad \\(${PROJECT_VERSION}\\) "
   OR NOT metainfo MATCHES "<release version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "Version ${PROJECT_VERSION}: packaging/changelog needs it as its newest entry and "
                      "packaging/${KESTREL_APP_ID}.metainfo.xml as a release")
endif()

# gzip -n keeps no name or time stamp, so the same files make the same package.
function(kestrel_gzipped source out_var)
  add_custom_command(OUTPUT ${source}.gz COMMAND gzip --best --no-name --force --keep ${source}
                     DEPENDS ${source} VERBATIM)
  set(${out_var} ${source}.gz PARENT_SCOPE)
endfunction()

# changelog.gz, not changelog.Debian.gz: the maker packages the program itself, so the package is
# a native one (its version has no Debian revision).
configure_file(${KESTREL_PACKAGING_DIR}/changelog ${KESTREL_PACKAGING_OUT}/changelog COPYONLY)
kestrel_gzipped(${KESTREL_PACKAGING_OUT}/changelog changelog_gz)
set(packaging_outputs ${changelog_gz})

set(programs kestrelpad-cli)
if(KESTREL_GUI)
  list(APPEND programs kestrelpad)
endif()
foreach(program IN LISTS programs)
  configure_file(${KESTREL_PACKAGING_DIR}/${program}.1.in ${KESTREL_PACKAGING_OUT}/${program}.1 @ONLY)
  kestrel_gzipped(${KESTREL_PACKAGING_OUT}/${program}.1 page_gz)
  list(APPEND packaging_outputs ${page_gz})
  install(FILES ${page_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(KESTREL_GUI)
  # Found there by app/DataFiles.cpp, relative to the installed executable.
  install(FILES ${PROJECT_SOURCE_DIR}/app/Help.html DESTINATION ${CMAKE_INSTALL_DATADIR}/kestrelpad)
  install(FILES ${KESTREL_PACKAGING_DIR}/${KESTREL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KESTREL_PACKAGING_DIR}/${KESTREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The icon is drawn once, as SVG; the sizes desktops look up first are rendered from it.
  find_program(RSVG_CONVERT rsvg-convert)
  if(NOT RSVG_CONVERT)
    message(FATAL_ERROR "rsvg-convert renders the program's icon: install librsvg2-bin (bash scripts/setup.sh run)")
  endif()
  set(icon_svg ${KESTREL_PACKAGING_DIR}/kestrelpad.svg)
  install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME ${KESTREL_APP_ID}.svg)
  foreach(size 16 32 48 64 128 256)
    set(png ${KESTREL_PACKAGING_OUT}/icons/${size}x${size}/${KESTREL_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
                       COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${icon_svg}
                       DEPENDS ${icon_svg} VERBATIM)
    list(APPEND packaging_outputs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

add_custom_target(kestrel_packaging_files ALL DEPENDS ${packaging_outputs})
install(FILES ${KESTREL_PACKAGING_DIR}/copyright ${changelog_gz} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrelpad)
set(CPACK_PACKAGE_VENDOR Norvale)
set(CPACK_PACKAGE_CONTACT "Norvale <support@norvale.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show and change the properties of Word, Excel and PowerPoint files")
# Lines of at most 80 characters, for the terminals apt and dpkg show them on; none may start
# with a dot, which the control file would take for a control statement.
set(CPACK_PACKAGE_DESCRIPTION
    "kestrelPad shows and changes, for each Word, Excel and PowerPoint file
(.doc, .docx, .xls, .xlsx, .ppt, .pptx, their templates and macro-enabled
variants), its 14 document properties, its three file times and its file
attributes, one document at a time or in batches, in a window with a Japanese
interface. It backs documents up before a change, exports their properties to
CSV files and writes every change in one step.
The command kestrelpad-cli does the same work from scripts, without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.norvale.example/kestrelpad/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so no library dependency names them: the font the window's layout is
# measured in, and the Japanese texts of Qt's own dialogs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n")
include(CPack)
