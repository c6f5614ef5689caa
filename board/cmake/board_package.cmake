# The board's Debian package (make package-board -> dist/zumble-board_VERSION_amd64.deb):
# the server, its systemd unit and the options file the unit reads, the system user made
# at install, the game's web page served at /play/, the manual page. It verifies with the
# game's own package (Depends: zumble of the same version, /usr/games/zumble).
get_filename_component(ZUMBLE_ROOT ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(BOARD_PACKAGING_SRC ${ZUMBLE_ROOT}/board/packaging)
include(${ZUMBLE_ROOT}/cmake/package_maintainer.cmake)

# The board is released with the game, under the game's version.
file(STRINGS ${ZUMBLE_ROOT}/CMakeLists.txt game_project REGEX "^project\\(zumble VERSION ")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" ZUMBLE_VERSION "${game_project}")
if(NOT ZUMBLE_VERSION)
  message(FATAL_ERROR "the game's version is not found in ${ZUMBLE_ROOT}/CMakeLists.txt")
endif()

# A server facing the network gets the hardening Debian builds its packages with: on
# every target that compiles its files (the object libraries' objects are linked as they
# were compiled).
foreach(target zumble_replay board_core board_http board_server zumble-board)
  target_compile_options(${target} PRIVATE -fstack-protector-strong
    $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endforeach()
target_link_options(zumble-board PRIVATE -Wl,-z,relro,-z,now)

set(BOARD_PACKAGING ${CMAKE_BINARY_DIR}/packaging)
configure_file(${BOARD_PACKAGING_SRC}/zumble-board.1.in ${BOARD_PACKAGING}/zumble-board.1 @ONLY)
configure_file(${BOARD_PACKAGING_SRC}/changelog ${BOARD_PACKAGING}/changelog @ONLY)
# Compressed without a time stamp or name inside, as Debian ships them.
add_custom_command(
  OUTPUT ${BOARD_PACKAGING}/zumble-board.1.gz ${BOARD_PACKAGING}/changelog.gz
  COMMAND gzip -9 -n -k -f zumble-board.1 changelog
  DEPENDS ${BOARD_PACKAGING}/zumble-board.1 ${BOARD_PACKAGING}/changelog
  WORKING_DIRECTORY ${BOARD_PACKAGING} VERBATIM)
add_custom_target(board_docs ALL DEPENDS ${BOARD_PACKAGING}/zumble-board.1.gz
                  ${BOARD_PACKAGING}/changelog.gz)

install(TARGETS zumble-board RUNTIME DESTINATION bin)
install(FILES ${BOARD_PACKAGING}/zumble-board.1.gz DESTINATION share/man/man1)
install(FILES ${BOARD_PACKAGING_SRC}/copyright ${BOARD_PACKAGING}/changelog.gz
        DESTINATION share/doc/zumble-board)
# Outside /usr: the unit where Debian 12 keeps its packages' units, the options in
# /etc/default (a conffile, listed in the control files below).
install(FILES ${BOARD_PACKAGING_SRC}/zumble-board.service DESTINATION /lib/systemd/system)
install(FILES ${BOARD_PACKAGING_SRC}/zumble-board.default DESTINATION /etc/default
        RENAME zumble-board)
# The page of the browser build (make web), whole.
install(CODE "if(NOT EXISTS \"${ZUMBLE_SITE}/index.html\")
  message(FATAL_ERROR \"no page in ${ZUMBLE_SITE}: make web builds it\")
endif()")
install(DIRECTORY ${ZUMBLE_SITE}/ DESTINATION share/zumble-board/site
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zumble-board)
set(CPACK_PACKAGE_VERSION ${ZUMBLE_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "best-times server for Zumble that replays every time")
set(CPACK_PACKAGE_DESCRIPTION
  "zumble-board keeps the best times of Zumble players on the web. It takes a\n\
time only with its replay, plays the replay with the game's own code (zumble\n\
--verify, in a child process with limits) and stores the time that playback\n\
gives. It serves the sixteen boards as pages, JSON and an Atom feed, the\n\
replays, and the game's web page at /play/, which can submit its rounds.\n\
\n\
The package runs it as a systemd service, as the zumble-board user, on\n\
127.0.0.1:8080 over an SQLite database in /var/lib/zumble-board; its options\n\
are in /etc/default/zumble-board. Several servers can share a PostgreSQL board.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A web server beside the game, not a game: /usr/bin and the web section, where
# Debian keeps /usr/games and the games section for the games themselves.
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZUMBLE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The verifier is the game of the same sources: another version refuses every replay.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "zumble (= ${ZUMBLE_VERSION}), adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${BOARD_PACKAGING_SRC}/postinst
    ${BOARD_PACKAGING_SRC}/prerm ${BOARD_PACKAGING_SRC}/postrm ${BOARD_PACKAGING_SRC}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/cpack)
set(CPACK_ZUMBLE_DIST_DIR ${ZUMBLE_ROOT}/dist)
set(CPACK_POST_BUILD_SCRIPTS ${ZUMBLE_ROOT}/cmake/copy-package.cmake)
include(CPack)

# Installed with dpkg, run as its unit says, sent a round, purged (as root; skipped else).
add_test(NAME board_package
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/board_package.sh $<TARGET_FILE:zumble-board>
          ${ZUMBLE_GAME} ${CMAKE_SOURCE_DIR}/..
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/..)
set_tests_properties(board_package PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 RUN_SERIAL ON)
