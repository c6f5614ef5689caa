#pragma once
// Messages waiting between two threads, in room taken once: each message is its length
// (4 bytes) and its bytes, one after another around a ring. Not locked: its owner holds
// its own lock around each call.

#include <cstddef>
#include <cstdint>

struct MessageRing {
    std::uint8_t* bytes = nullptr;
    std::size_t capacity = 0;
    std::size_t head = 0;  // where the oldest message begins
    std::size_t used = 0;
    std::size_t count = 0;  // messages waiting
};

// Takes the room (capacity bytes); false without it.
bool MessageRingOpen(MessageRing* ring, std::size_t capacity);
void MessageRingFree(MessageRing* ring);
// Adds a message after the others, its bytes `first` then `second` (either may be empty);
// false (nothing added) when it does not fit.
bool MessageRingPush(MessageRing* ring, const void* first, std::size_t firstSize,
                     const void* second, std::size_t secondSize);
// The oldest message's size, or -1 when none waits.
long MessageRingFrontSize(const MessageRing& ring);
// Copies the oldest message into out (at most outSize bytes of it) and takes it away.
std::size_t MessageRingPop(MessageRing* ring, void* out, std::size_t outSize);
