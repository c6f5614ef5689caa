#pragma once
// Where the player's files go on POSIX systems, for the save and for tests; the game
// itself names its files as platform/services/files.h says.

#include <string>

// The path to hand to the system for a file named as OpenGamePath names it; false (errno
// EACCES) for a player's file when the game may not save.
bool GameSystemPath(const char* path, std::string* out);

// Chooses the player's own folder, $XDG_DATA_HOME/zumble or ~/.local/share/zumble, and
// makes it (mode 0700) as an installed game does; when it cannot be had, says so in one
// line on stderr and turns saving off. Each call chooses afresh.
void UsePlayerFolder();
