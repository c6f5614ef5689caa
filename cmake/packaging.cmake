# Installation on Linux in the layout Debian uses for games, and the Debian package
# (make package -> dist/zumble_VERSION_amd64.deb). Nothing here is compiled into the
# game: it finds its data relative to its own executable.

# The asset generator also paints the desktop icons, written as PNG files.
if(TARGET zumble_assets)
  target_link_libraries(zumble_assets PRIVATE PNG::PNG)
endif()

include(${CMAKE_CURRENT_LIST_DIR}/package_maintainer.cmake)
set(ZUMBLE_APPSTREAM_ID "org.example.zumble" CACHE STRING "The AppStream component id")

set(ZUMBLE_PACKAGING ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_SOURCE_DIR}/packaging/zumble.metainfo.xml.in ${ZUMBLE_PACKAGING}/zumble.metainfo.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/zumble.6.in ${ZUMBLE_PACKAGING}/zumble.6 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog ${ZUMBLE_PACKAGING}/changelog @ONLY)
# Debian ships manual pages and changelogs compressed, without a time stamp or name inside.
add_custom_command(
  OUTPUT ${ZUMBLE_PACKAGING}/zumble.6.gz ${ZUMBLE_PACKAGING}/changelog.gz
  COMMAND gzip -9 -n -k -f zumble.6 changelog
  DEPENDS ${ZUMBLE_PACKAGING}/zumble.6 ${ZUMBLE_PACKAGING}/changelog
  WORKING_DIRECTORY ${ZUMBLE_PACKAGING} VERBATIM)
add_custom_target(zumble_docs ALL DEPENDS ${ZUMBLE_PACKAGING}/zumble.6.gz ${ZUMBLE_PACKAGING}/changelog.gz)

install(TARGETS zumble RUNTIME DESTINATION games)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/bmp ${CMAKE_SOURCE_DIR}/wave DESTINATION share/games/zumble)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/zumble.desktop DESTINATION share/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/zumble-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME zumble.png)
endforeach()
install(FILES ${ZUMBLE_PACKAGING}/zumble.metainfo.xml DESTINATION share/metainfo)
install(FILES ${ZUMBLE_PACKAGING}/zumble.6.gz DESTINATION share/man/man6)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${ZUMBLE_PACKAGING}/changelog.gz
        DESTINATION share/doc/zumble)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zumble)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fly-swatting arcade game played with the mouse")
set(CPACK_PACKAGE_DESCRIPTION
  "Swat the flies with the mouse before the clock runs away. Pick how many flies a\n\
round asks for (10, 30, 100 or 1000) and how fast they fly; every swat throws\n\
debris, a body that pops up and falls off the screen, and a mark that fades.\n\
Clear the round to see your time ranked among the five best of that mode.\n\
\n\
The game draws a 640x480 picture in 256 colours, scaled to the screen by whole\n\
factors, and keeps each player's best times in ~/.local/share/zumble/.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZUMBLE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# CPack works in the build folder; the finished package is copied to dist/.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
set(CPACK_ZUMBLE_DIST_DIR ${CMAKE_SOURCE_DIR}/dist)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/copy-package.cmake)
include(CPack)
