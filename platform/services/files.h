#pragma once
// The game opens its files by Windows-style relative paths ("bmp\title.bmp",
// "hiscoa.sav"). Paths under bmp\ and wave\ are the game's data; every other relative
// path is one of the player's files (best times, error log), kept where FindGameData
// decided: beside the data, or in the player's own folder for an installed game.

#include <cstdio>
#include <string>

// fopen with the path's backslashes taken as directory separators, in the folder that
// holds that kind of file. A folder is not a file: opening one fails, as it does on
// Windows. Fails (EACCES) for a player's file when the game may not save.
std::FILE* OpenGamePath(const char* path, const char* mode);

// rename and remove for paths named as OpenGamePath names them. 0 on success.
int RenameGamePath(const char* from, const char* to);
int RemoveGamePath(const char* path);

// Where a player's file named as OpenGamePath names it is, as a full path in UTF-8 to
// show the player; false when the player's files may not be touched.
bool ShownGamePath(const char* path, std::string* out);

// Makes a folder of the player's (named as OpenGamePath names it); 0 when it is there.
int MakeGameFolder(const char* path);

// From now on the player's files are neither read nor written (a replay is being
// watched or verified): opening one fails with EACCES.
void ForbidSaving();

// Flushes a written file and asks the system to put it on the disk, so that a rename
// over an older file cannot leave an empty one after a power cut. True on success.
bool FlushToDisk(std::FILE* file);

// Finds the game's data: the current folder when it holds bmp/ and wave/; else an
// installed tree, ../share/games/zumble beside the executable, whose player's files go
// to $XDG_DATA_HOME/zumble/ (by default ~/.local/share/zumble/, made with mode 0700;
// when it cannot be made the game says so once and saves nothing); else the folder
// next to or above the executable that holds them, which becomes the current folder
// (said on stderr) with the player's files beside the data, as in a source tree.
void FindGameData();
