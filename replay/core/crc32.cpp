// The common CRC-32 (reflected, polynomial 0xEDB88320), a byte at a time from a table
// made by the compiler: the game's shots (0.9 MB each) go through it too.
#include "replay/core/crc32.h"

namespace {

struct Crc32Table {
    std::uint32_t entry[256];
    constexpr Crc32Table() : entry() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
            entry[i] = c;
        }
    }
};
constexpr Crc32Table kCrc32;

}  // namespace

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = kCrc32.entry[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}
