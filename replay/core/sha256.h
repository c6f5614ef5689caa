#pragma once
// SHA-256, for the identity of a round: fed in pieces, no allocation.

#include <cstddef>
#include <cstdint>

struct Sha256 {
    std::uint32_t state[8];
    std::uint8_t block[64];
    std::size_t used = 0;     // bytes waiting in block
    std::uint64_t total = 0;  // bytes fed so far
};

void Sha256Start(Sha256* s);
void Sha256Feed(Sha256* s, const void* bytes, std::size_t size);
void Sha256Finish(Sha256* s, std::uint8_t digest[32]);
// The digest as 64 lower-case hex digits and a terminating zero.
void Sha256Hex(const std::uint8_t digest[32], char out[65]);
