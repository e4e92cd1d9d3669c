# `cpack -G DEB` in the build folder: one package with both programs.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kova)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kova developers")
set(CPACK_PACKAGE_CONTACT "Kova developers <kova@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photographs shown at their true size: viewer and authoring tool")
set(CPACK_PACKAGE_DESCRIPTION
"Kovalindra, calibrated once against a ruler or an A4 sheet, shows a .kvi
photograph so that a registered distance measures its real length on the
screen. Kovasand registers known lengths on a JPEG photo and publishes
.kvi files. Both programs have a Japanese interface.")
# The desktop entries are written with the installed path of the programs;
# staging through DESTDIR keeps that path /usr rather than the staging folder
# (and staging through DESTDIR takes its prefix from CPACK_INSTALL_PREFIX).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kova developers <kova@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not linked, so not found by the library scan, yet needed: the Japanese
# font the interface is drawn in, Qt's own dialogs in Japanese, and the
# platform plugins without which a Qt program opens no window (X11, and
# Wayland sessions).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "fonts-ipafont-gothic, qt6-translations-l10n, qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

include(CPack)
