# The Debian package: cpack -G DEB in the build folder gives vekedit_VERSION_amd64.deb.
set(doc ${CMAKE_INSTALL_DATADIR}/doc/vekedit)
# Compressed when CMake runs, which it does again when either changes.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS data/changelog data/vekedit.1)
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/changelog
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${doc})
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/vekedit.1
                OUTPUT_FILE ${CMAKE_BINARY_DIR}/vekedit.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/vekedit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES LICENSE DESTINATION ${doc} RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vekedit)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_CONTACT "vekEdit developers <developers@vekedit.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "talking editor for lists of Japanese maxims")
set(CPACK_PACKAGE_DESCRIPTION "vekEdit edits phrase files: Shift-JIS (CP932) text with one
maxim or quotation per line. It keeps the files byte for byte, and reads the
text or the selection aloud in one of two Japanese voices.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vekedit.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The voice is in Debian's contrib component.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, open-jtalk, open-jtalk-mecab-naist-jdic, hts-voice-nitech-jp-atr503-m001")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
