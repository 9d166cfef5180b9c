# `cpack` in the build folder makes a Debian package whose dependencies come
# from the shared libraries the installed programs link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorlane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vorlane developers")
set(CPACK_PACKAGE_CONTACT "Vorlane developers <vorlane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Internet radio recorder, one file per song")
set(CPACK_PACKAGE_DESCRIPTION
    "Vorlane records Internet radio stations named by a playlist address, a playlist file or a preset: one MP3 file per song title, one single file, or one dated archive file per day. It includes vorlane-teststation, a local test station for trying it without a real one.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
