// Best-times files of any content: loaded or replaced by defaults, and saved back whole.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "scenes/best_times.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzEnterScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzWriteFile("hiscoa.sav", data, size);
    LoadBestTimes();
    SaveBestTimes();
    std::FILE* f = std::fopen("hiscoa.sav", "rb");
    if (!f) std::abort();
    std::fseek(f, 0, SEEK_END);
    const long saved = std::ftell(f);
    std::fclose(f);
    if (saved != 332) std::abort();
    return 0;
}
