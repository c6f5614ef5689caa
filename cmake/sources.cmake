# Each build names the folders it compiles; every .cpp in a named folder is taken, so a
# backend's files reach only the builds that list its folder.
#   zumble_sources(OUT folder...)   folders relative to the source tree
function(zumble_sources out)
  set(globs)
  foreach(folder ${ARGN})
    list(APPEND globs ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  endforeach()
  file(GLOB found CONFIGURE_DEPENDS ${globs})
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The game itself: the same files in every build.
set(ZUMBLE_GAME_FOLDERS shell replay media objects scenes)
# The driver of a run (the options, the backend, play, replay or verify, then WinMain):
# every build whose entry goes through the platform's stand-in and services.
set(ZUMBLE_DRIVER_FOLDERS shell/driver)

# The replay library: the file, its reader's bounds, a round's identity, SHA-256 and CRC32,
# and the rules and signs that need no game state. No globals: the game and the board
# (board/CMakeLists.txt) both link it, so a fact about the file lives in one place.
get_filename_component(ZUMBLE_TREE ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
function(zumble_replay_library)
  if(TARGET zumble_replay)
    return()
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${ZUMBLE_TREE}/replay/core/*.cpp)
  add_library(zumble_replay STATIC ${sources})
  target_include_directories(zumble_replay PUBLIC ${ZUMBLE_TREE})
endfunction()
