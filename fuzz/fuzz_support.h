#pragma once
// Shared set-up of the fuzz programs: a headless game display in a scratch folder.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "media/display.h"
#include "platform/services/options.h"
#include "platform/stand_in/runtime.h"
#include "shell/globals.h"
#include "shell/winmain.h"

inline void FuzzEnterScratchDir() {
    char pattern[] = "/tmp/zumble-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) std::abort();
    if (std::system("mkdir -p bmp wave") != 0) std::abort();
}

inline void FuzzStartDisplay() {
    if (!StartHeadlessDisplay()) std::abort();
}

inline void FuzzWriteFile(const char* path, const unsigned char* data, size_t size) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}
