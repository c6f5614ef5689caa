// Scene bitmaps of any content: refused or loaded, never a crash or a stray read.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzEnterScratchDir();
    FuzzStartDisplay();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzWriteFile("bmp/f.bmp", data, size);
    LoadSceneBitmap("bmp\\f.bmp", size ? data[0] : 255);
    return 0;
}
