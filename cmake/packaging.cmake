# The Debian package (make package): the programs, the external converter, the desktop file with
# its icons and AppStream metadata, the manual pages and the shell completions. The engine
# library and its header are for developers and stay out of it. Library dependencies come from
# dpkg-shlibdeps, which sees what the programs and the modules in the private library folder link
# (Tesseract through the text recognition module); libcurl, which the update check opens at run
# time, is named here.

# AppStream metadata and the desktop program's manual page carry the project's version.
set(FOLVANE_APPSTREAM_ID example.quillmar.Folvane)
configure_file(${PROJECT_SOURCE_DIR}/data/folvane.metainfo.xml
               ${CMAKE_BINARY_DIR}/share/metainfo/${FOLVANE_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/docs/folvane.1 ${CMAKE_BINARY_DIR}/share/man/folvane.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/changelog ${CMAKE_BINARY_DIR}/share/doc/changelog @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/share/metainfo/${FOLVANE_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_BINARY_DIR}/share/man/folvane.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(FOLVANE_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/folvane)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright DESTINATION ${FOLVANE_PACKAGE_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME folvane)
set(CPACK_PACKAGE_VENDOR Quillmar)
set(CPACK_PACKAGE_CONTACT "Folvane maintainers <support@quillmar.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert images into PDF files")
set(CPACK_PACKAGE_DESCRIPTION
    "Folvane turns image files into PDF documents, one PDF for all images, one
per image or one per folder, or watches a folder and converts what arrives.
It copies compressed image data into the PDF without re-encoding wherever
possible and sets page layout, bookmarks, watermarks, document information
and password security. The package holds the desktop application folvane
and the command line folvane-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quillmar.example/folvane/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcurl.so.4 comes with libcurl4; 7.85 brought the protocol list the update check sets.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4 (>= 7.85.0)")
# The converter plugin and the text recognition module live in a private folder; dpkg-shlibdeps
# must not look for a package that provides them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_FULL_LIBDIR}/folvane)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# Only what a user runs: the development component (engine library, header) is left out.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Unspecified)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Debian wants manual pages and the changelog compressed and the changelog present.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_finish.cmake)
set(CPACK_FOLVANE_CHANGELOG_SOURCE ${CMAKE_BINARY_DIR}/share/doc/changelog)
set(CPACK_FOLVANE_DOCDIR ${FOLVANE_PACKAGE_DOCDIR})
set(CPACK_FOLVANE_MANDIR ${CMAKE_INSTALL_MANDIR})
include(CPack)
