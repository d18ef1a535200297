# What a Linux player installs: the launcher, a menu entry that starts it in a game folder of its own, and an icon
# painted from the artwork; `cpack` in the build folder makes a .deb and a .tar.gz of them.
include(GNUInstallDirs)

set(VARNHOLD_GAME_FOLDER "Games/Varnhold"
    CACHE STRING "The game folder below the player's home that the menu entry starts the launcher in")
# The package's own prefix: the menu entry names its start script by full path.
set(VARNHOLD_PACKAGE_PREFIX /usr)
set(VARNHOLD_MENU_START ${VARNHOLD_PACKAGE_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/varnhold-launcher/start-in-game-folder)

set(PACKAGING_DIR ${PROJECT_BINARY_DIR}/packaging)
set(ICON_FILE ${PACKAGING_DIR}/varnhold-launcher.png)
add_custom_command(OUTPUT ${ICON_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PACKAGING_DIR}
    # fontconfig keeps its parsed configuration for the life of the process, which a sanitizer build would
    # report as a leak and fail the build on; the tests suppress the same thing through tests/lsan.supp.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:varnhold-artwork> --icon ${ICON_FILE}
    DEPENDS varnhold-artwork
    COMMENT "Painting the launcher's icon")
add_custom_target(launcher-icon ALL DEPENDS ${ICON_FILE})
configure_file(${PROJECT_SOURCE_DIR}/assets/linux/varnhold-launcher.desktop.in ${PACKAGING_DIR}/varnhold-launcher.desktop
               @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/assets/linux/start-in-game-folder.in ${PACKAGING_DIR}/start-in-game-folder @ONLY)

install(TARGETS varnhold-launcher RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PACKAGING_DIR}/start-in-game-folder DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/varnhold-launcher)
install(FILES ${PACKAGING_DIR}/varnhold-launcher.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ICON_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES ${PROJECT_SOURCE_DIR}/assets/font/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varnhold-launcher
        RENAME LICENSE.DejaVu)

set(CPACK_PACKAGE_NAME varnhold-launcher)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnhold")
set(CPACK_PACKAGE_CONTACT "Varnhold community <admins@varnhold.invalid>" CACHE STRING "Maintainer named in the package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps the Varnhold game folder up to date and starts the game")
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON) # debugging symbols are no use to players and triple the size
set(CPACK_PACKAGING_INSTALL_PREFIX ${VARNHOLD_PACKAGE_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Boxes, links, and the Persian announcement's face: the launcher runs without them, with less.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity | kdialog, xdg-utils, fonts-noto-core")
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-linux-x86_64) # the .tar.gz; the .deb keeps Debian's name
include(CPack)
