#include "platform/net_beast/message_ring.h"

#include <cstring>
#include <new>

namespace {

void CopyIn(MessageRing* ring, std::size_t at, const void* from, std::size_t size) {
    const std::size_t first = size < ring->capacity - at ? size : ring->capacity - at;
    std::memcpy(ring->bytes + at, from, first);
    std::memcpy(ring->bytes, static_cast<const std::uint8_t*>(from) + first, size - first);
}

void CopyOut(const MessageRing& ring, std::size_t at, void* to, std::size_t size) {
    const std::size_t first = size < ring.capacity - at ? size : ring.capacity - at;
    std::memcpy(to, ring.bytes + at, first);
    std::memcpy(static_cast<std::uint8_t*>(to) + first, ring.bytes, size - first);
}

}  // namespace

bool MessageRingOpen(MessageRing* ring, std::size_t capacity) {
    *ring = MessageRing{};
    ring->bytes = new (std::nothrow) std::uint8_t[capacity];
    if (!ring->bytes) return false;
    ring->capacity = capacity;
    return true;
}

void MessageRingFree(MessageRing* ring) {
    delete[] ring->bytes;
    *ring = MessageRing{};
}

bool MessageRingPush(MessageRing* ring, const void* first, std::size_t firstSize,
                     const void* second, std::size_t secondSize) {
    const std::size_t size = firstSize + secondSize;
    if (size < firstSize || size > 0xFFFFFFF0u || ring->capacity - ring->used < size + 4)
        return false;
    const std::uint32_t length = static_cast<std::uint32_t>(size);
    std::size_t at = (ring->head + ring->used) % ring->capacity;
    CopyIn(ring, at, &length, 4);
    at = (at + 4) % ring->capacity;
    if (firstSize) CopyIn(ring, at, first, firstSize);
    at = (at + firstSize) % ring->capacity;
    if (secondSize) CopyIn(ring, at, second, secondSize);
    ring->used += size + 4;
    ++ring->count;
    return true;
}

long MessageRingFrontSize(const MessageRing& ring) {
    if (ring.count == 0) return -1;
    std::uint32_t length = 0;
    CopyOut(ring, ring.head, &length, 4);
    return static_cast<long>(length);
}

std::size_t MessageRingPop(MessageRing* ring, void* out, std::size_t outSize) {
    const long size = MessageRingFrontSize(*ring);
    if (size < 0) return 0;
    const std::size_t length = static_cast<std::size_t>(size);
    const std::size_t copied = length < outSize ? length : outSize;
    if (copied > 0) CopyOut(*ring, (ring->head + 4) % ring->capacity, out, copied);
    ring->head = (ring->head + 4 + length) % ring->capacity;
    ring->used -= 4 + length;
    --ring->count;
    if (ring->count == 0) ring->head = ring->used = 0;
    return copied;
}
