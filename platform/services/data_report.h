#pragma once
// A data file (under bmp/ or wave/) that cannot be opened leaves the game with a garbled
// picture or a silent sound, and error.txt holds at most a code: the files service names
// the file on stderr, once per file in a run (a scene's bitmap is loaded again on each
// visit). The game's own behaviour and error log stay as they are.

#include <cstdio>
#include <cstring>

inline void SayDataFileUnreadable(const char* path, const char* why) {
    static char said[64][256];
    static int count = 0;
    for (int i = 0; i < count; ++i)
        if (std::strcmp(said[i], path) == 0) return;
    if (count < 64 && std::strlen(path) < sizeof said[0]) std::strcpy(said[count++], path);
    std::fprintf(stderr, "zumble: cannot open %s: %s\n", path, why);
}
