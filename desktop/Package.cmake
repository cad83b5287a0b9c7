# `make package`: the install rules of desktop/ as the Debian package
# kalvotune_<version>_<arch>.deb, made by CPack. Its Depends come from the libraries the
# player and its sound module link (dpkg-shlibdeps), so apt brings libmpv, Qt 6 and FFmpeg.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kalvotune)
set(CPACK_PACKAGE_VENDOR Kalvotune)
set(CPACK_PACKAGE_CONTACT "${KALVOTUNE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music player with a colour-music kaleidoscope")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kalvotune plays WMA, MP3 and WAV files and fills its window with a moving\n"
    "colour kaleidoscope that follows the music. A colour-music template steers\n"
    "the colours, the figures and the picture changes of a track; the player\n"
    "makes one from the music itself, or the user records one by tapping along.\n"
    "Play lists, a history and sixteen kaleidoscope modes come with it.\n"
    "The interface is in Russian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KALVOTUNE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kalvotune.example.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The Qt platform plugin for X11 and Wayland is loaded at run time, not linked.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
