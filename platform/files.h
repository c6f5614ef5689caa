#pragma once
// The game opens its files by Windows-style relative paths ("bmp\title.bmp").

#include <cstdio>

// fopen with the path's backslashes taken as directory separators.
std::FILE* OpenGamePath(const char* path, const char* mode);

// When the current directory holds no bmp/ and wave/, changes to the folder next to or
// above the executable that does, and says so on stderr.
void FindGameData();
