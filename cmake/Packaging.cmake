# What an installation holds, and the Debian package made from it (`cmake --build build --target
# package`, or scripts/build-package): backreel_<version>_<arch>.deb.
include(GNUInstallDirs)

set(BACKREEL_APP_ID com.strandloft.Backreel)
set(BACKREEL_HOMEPAGE "https://strandloft.com/backreel/")

# The desktop entry and icon give the application its id, by which desktops group its windows
# and notification servers name it; the metainfo describes it to software centres.
install(FILES ${PROJECT_SOURCE_DIR}/data/${BACKREEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${PROJECT_SOURCE_DIR}/data/${BACKREEL_APP_ID}.metainfo.xml
               ${PROJECT_BINARY_DIR}/data/${BACKREEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/data/${BACKREEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 24 32 48 64 128 256 512)
  install(FILES ${PROJECT_SOURCE_DIR}/data/icons/hicolor/${size}x${size}/apps/${BACKREEL_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/hicolor/scalable/apps/${BACKREEL_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The manual page, compressed as Debian installs them (no time stamp, so builds compare equal).
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/data/backreel.1.gz
  COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/data/backreel.1 > ${PROJECT_BINARY_DIR}/data/backreel.1.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/data/backreel.1
  VERBATIM)
add_custom_target(backreel_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/data/backreel.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/data/backreel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME backreel)
set(CPACK_PACKAGE_VENDOR Strandloft)
set(CPACK_PACKAGE_CONTACT "Backreel developers <backreel@strandloft.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "replay-buffer screen recorder")
set(CPACK_PACKAGE_DESCRIPTION
    "Backreel keeps the last 10 seconds to 3 minutes of a display, a window or a region, with the\n\
system's sound, compressed in memory, and saves what just happened to an MP4 file when asked:\n\
from its window, the tray, a global shortcut or the command line. Nothing touches the disk\n\
until then. It captures through X11, or through the desktop's ScreenCast portal on Wayland.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${BACKREEL_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Services the program talks to rather than links: the screen-sharing portal on Wayland, and an
# audio server with PulseAudio's protocol for the system's sound.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-desktop-portal, pipewire-pulse | pulseaudio")
include(CPack)
