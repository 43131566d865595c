# The Debian package: `make package` (the `package` target) builds tessaly_<version>_<arch>.deb with
# the program, tessaly-cli and its manual page, the desktop entry and the icons. Its library
# dependencies are worked out from the programs by dpkg-shlibdeps.
include(GNUInstallDirs)

# Manual pages go into the package compressed, as Debian expects.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(cli_man_page ${CMAKE_BINARY_DIR}/man/tessaly-cli.1.gz)
add_custom_command(OUTPUT ${cli_man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_SOURCE_DIR}/resources/tessaly-cli.1 > ${cli_man_page}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/tessaly-cli.1
    VERBATIM)
set(app_man_page ${CMAKE_BINARY_DIR}/man/tessaly.1.gz)
add_custom_command(OUTPUT ${app_man_page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_SOURCE_DIR}/resources/tessaly.1 > ${app_man_page}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/tessaly.1
    VERBATIM)
add_custom_target(tessaly_man_pages ALL DEPENDS ${cli_man_page} ${app_man_page})
install(FILES ${cli_man_page} ${app_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence in Debian's machine-readable form and the changelog, both where Debian keeps them.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tessaly)
configure_file(${CMAKE_SOURCE_DIR}/resources/debian/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
set(changelog_gz ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_BINARY_DIR}/doc/changelog > ${changelog_gz}
    DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog
    VERBATIM)
add_custom_target(tessaly_changelog ALL DEPENDS ${changelog_gz})
install(FILES ${CMAKE_SOURCE_DIR}/resources/debian/copyright ${changelog_gz} DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvane")
set(CPACK_PACKAGE_CONTACT "Tessaly maintainers <support@tessaly.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lock files and folders with a password, keep a password wallet, shred files")
# The extended description as Debian shows it: lines under 80 columns, CPack indents them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tessaly is a desktop privacy utility. From one window, protected by one"
    "password, it locks files into its .TSL and .TSW formats under scrambled"
    "names, hides folders, lists everything locked in its Security Vault, keeps"
    "a password wallet and private favourites, shreds files and shows thumbnails."
    "tessaly-cli locks and unlocks files from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: Qt's platform plugins to show a window, xdg-utils to open pages and mail.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins")
include(CPack)
