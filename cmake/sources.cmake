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
