# `cpack -G DEB` in a build folder makes quillon_<version>_<arch>.deb from the install rules. Its
# Depends line comes from dpkg-shlibdeps, so it names the libraries the built program links.
set(QUILLON_PACKAGE_MAINTAINER "The Quillon developers <quillon@users.noreply.github.com>"
  CACHE STRING "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "The Quillon developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player and viewer for BMS rhythm-game charts")
# Debian wants the long description in lines under 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quillon opens a BMS chart (.bms, .bme, .bml, .pms) and plays it: every key"
  "sound at its time, the notes scrolling down the lanes and the background"
  "animation behind them. It plays .bpl playlists, shows a chart's properties,"
  "writes the display frame by frame for a video and the sound as a WAV file,"
  "and can be driven by another program or used as a chart editor's preview"
  "player.")
set(CPACK_PACKAGE_CONTACT ${QUILLON_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUILLON_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so not found by the shared-library scan: the chart library's SQLite
# driver.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6sql6-sqlite)
# Without it Qt runs through XWayland on a Wayland desktop; with it the window is native there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
# The desktop's caches (file types, icons, menu) are refreshed by the triggers of the packages
# that own them; the package itself needs no scripts.

include(CPack)
