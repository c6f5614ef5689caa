# The Windows build (cmake/mingw-w64-x86_64.cmake): the two programs of `make windows`.
#   zumble-ddraw.exe  the game code on the system's own window, DirectDraw and DirectSound
#                     (the folder platform/ddraw_real/include puts <windows.h>, <ddraw.h>
#                     and <dsound.h> where the game includes the stand-in's headers).
add_compile_options(-Wall -Wextra)
add_link_options(-static -mwindows $<$<CONFIG:Release>:-s>)

zumble_replay_library()
zumble_sources(GAME_SOURCES ${ZUMBLE_GAME_FOLDERS})
# The real-DirectX build has no network: it joins no room.
zumble_sources(DDRAW_REAL_SOURCES platform/ddraw_real platform/room_none main/ddraw_real)

add_executable(zumble-ddraw ${GAME_SOURCES} ${DDRAW_REAL_SOURCES}
  ${CMAKE_SOURCE_DIR}/platform/services/options.cpp
  ${CMAKE_SOURCE_DIR}/platform/services/option_rows.cpp
  ${CMAKE_SOURCE_DIR}/platform/services/input_source.cpp
  ${CMAKE_SOURCE_DIR}/platform/services/frame_pacer.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win32_arguments.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win32_files.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win32_tester_file.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win32_save_file.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win32_player_lock.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/win32_pacing.cpp)
target_include_directories(zumble-ddraw BEFORE PRIVATE ${CMAKE_SOURCE_DIR}/platform/ddraw_real/include)
target_include_directories(zumble-ddraw PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(zumble-ddraw PRIVATE ZUMBLE_VERSION="${PROJECT_VERSION}")
# The game's DirectDrawCreate goes through the port's wrapper (platform/ddraw_real/ddraw_real_flip.cpp).
target_link_options(zumble-ddraw PRIVATE -Wl,--wrap=DirectDrawCreate)
target_link_libraries(zumble-ddraw PRIVATE zumble_replay ddraw dsound dxguid winmm user32 gdi32 ole32 shell32 uuid)
set_target_properties(zumble-ddraw PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# Tests: the programs under Wine in Xvfb (tests/windows/*.sh), compared with the Linux
# build's game where the two must agree.
set(ZUMBLE_LINUX_GAME ${CMAKE_SOURCE_DIR}/build/zumble CACHE FILEPATH "The Linux build's game, for comparisons")
enable_testing()
file(GLOB WINDOWS_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/*.sh)
foreach(script ${WINDOWS_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME windows_${name}
    COMMAND bash ${script} ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${ZUMBLE_LINUX_GAME}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(windows_${name} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
endforeach()

#   zumble.exe        the player's build: the platform's stand-in and services, with
#                     the Win32 backend (platform/win32/) and the headless one.
zumble_sources(CORE_SOURCES ${ZUMBLE_DRIVER_FOLDERS}
  platform/stand_in platform/services platform/headless platform/png_stored platform/win32 platform/clip_none
  platform/net_none platform/room_none main/win32)
add_executable(zumble ${GAME_SOURCES} ${CORE_SOURCES})
target_include_directories(zumble PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(zumble PRIVATE ZUMBLE_VERSION="${PROJECT_VERSION}")
target_link_libraries(zumble PRIVATE zumble_replay winmm user32 gdi32 ole32 shell32 uuid psapi)
set_target_properties(zumble PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# A tester's XInput for tests/windows/pad_wine.sh: an xinput1_4.dll steered by a file,
# which the test puts into the Wine prefix's system folder. Built here, never packed.
add_library(test-xinput SHARED ${CMAKE_SOURCE_DIR}/tests/windows/test_xinput.cpp)
set_target_properties(test-xinput PROPERTIES OUTPUT_NAME xinput1_4 PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/test-xinput)

# The package (make windows): dist/zumble-VERSION-windows-x64.zip with both programs, the
# game's data and the player's README.
install(TARGETS zumble zumble-ddraw RUNTIME DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/bmp ${CMAKE_SOURCE_DIR}/wave DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/docs/windows/README.txt DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zumble)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME zumble-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
