# Who signs the Debian packages: the game's (cmake/packaging.cmake) and the board's
# (board/cmake/board_package.cmake).
set(ZUMBLE_MAINTAINER "Zumble maintainers <maintainers@users.noreply.c-seed-dabc34cc.example>"
    CACHE STRING "The Maintainer field of the Debian packages")
