# The browser build: the game as a web page in site/ (index.html, index.js, index.wasm,
# index.data with bmp/ and wave/ but the music, wave-bgm1.wav the music, audio-worklet.js, and for the installed app playing
# offline: manifest.webmanifest, icon-192.png, icon-512.png, service-worker.js). Configured through Emscripten's own
# CMake toolchain: `emcmake cmake -S . -B build-web` (what `make web` runs).
#
# The game code and platform/'s stand-in and services are compiled unchanged; platform/web/
# is the backend, with the page itself in platform/web/page/. Emscripten's SDL and libpng ports would have to be downloaded,
# so the page uses only Emscripten's own html5.h and a few lines of JavaScript.

zumble_replay_library()
zumble_sources(WEB_SOURCES ${ZUMBLE_GAME_FOLDERS} ${ZUMBLE_DRIVER_FOLDERS}
  platform/stand_in platform/services platform/headless platform/posix platform/png_stored platform/web
  platform/clip_none platform/net_none main/web)
set(WEB_PAGE_DIR ${CMAKE_SOURCE_DIR}/platform/web/page)
file(GLOB WEB_PAGE CONFIGURE_DEPENDS ${WEB_PAGE_DIR}/*)
file(GLOB_RECURSE WEB_DATA CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bmp/* ${CMAKE_SOURCE_DIR}/wave/*)
set(WEB_ICONS ${CMAKE_SOURCE_DIR}/packaging/icons/zumble-192.png ${CMAKE_SOURCE_DIR}/packaging/icons/zumble-512.png)

set(WEB_SITE ${CMAKE_BINARY_DIR}/site)
add_executable(zumble_web ${WEB_SOURCES})
target_include_directories(zumble_web PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(zumble_web PRIVATE zumble_replay)
target_compile_definitions(zumble_web PRIVATE ZUMBLE_VERSION="${PROJECT_VERSION}")
# How the game's main loop gives the browser back its thread: see the README's web part.
set(ZUMBLE_WEB_ASYNCIFY "-sASYNCIFY" CACHE STRING "The Asyncify settings of the page's link")
separate_arguments(WEB_ASYNCIFY_FLAGS UNIX_COMMAND "${ZUMBLE_WEB_ASYNCIFY}")
target_link_options(zumble_web PRIVATE
  ${WEB_ASYNCIFY_FLAGS}
  -sEXIT_RUNTIME=1            # exit() tears down the statics: the error log is written
  -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=33554432
  -sENVIRONMENT=web
  -sFORCE_FILESYSTEM=1
  -sMINIFY_HTML=0             # the minifier of this Emscripten fails; the page is small anyway
  -sEXPORTED_FUNCTIONS=_main
  -lidbfs.js
  "SHELL:--shell-file ${WEB_PAGE_DIR}/shell.html"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/page.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/picture.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/screen.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/offline.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/pacing.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/sound.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/files.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/board.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/gamepad.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/viewer.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/replays.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/progress.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/clip.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/room_link.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/room_panel.js"
  "SHELL:--pre-js ${WEB_PAGE_DIR}/rooms.js"
  # The music is not in index.data: the page fetches it once the game has started
  # (docs/web.md, "Loading"), as wave-bgm1.wav beside the page.
  "SHELL:--exclude-file *bgm1.wav"
  "SHELL:--preload-file ${CMAKE_SOURCE_DIR}/bmp@/zumble/bmp"
  "SHELL:--preload-file ${CMAKE_SOURCE_DIR}/wave@/zumble/wave")
set_target_properties(zumble_web PROPERTIES
  OUTPUT_NAME index SUFFIX ".html"
  RUNTIME_OUTPUT_DIRECTORY ${WEB_SITE}
  LINK_DEPENDS "${WEB_PAGE};${WEB_DATA};${WEB_ICONS}")
# The files beside the page, then the build's name filled in (cmake/web_site.cmake).
add_custom_command(TARGET zumble_web POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${WEB_PAGE_DIR}/audio-worklet.js ${WEB_PAGE_DIR}/manifest.webmanifest
          ${WEB_SITE}/
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/packaging/icons/zumble-192.png ${WEB_SITE}/icon-192.png
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/packaging/icons/zumble-512.png ${WEB_SITE}/icon-512.png
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/wave/bgm1.wav ${WEB_SITE}/wave-bgm1.wav
  COMMAND ${CMAKE_COMMAND} -DSITE=${WEB_SITE} -DSERVICE_WORKER=${WEB_PAGE_DIR}/service-worker.js
          -P ${CMAKE_SOURCE_DIR}/cmake/web_site.cmake)
# Emscripten's JavaScript tools find their Node modules (acorn) in Debian's folder.
if(NOT DEFINED ENV{NODE_PATH} AND EXISTS /usr/share/nodejs)
  set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
  set_target_properties(zumble_web PROPERTIES CXX_LINKER_LAUNCHER "${CMAKE_CXX_LINKER_LAUNCHER}")
endif()
