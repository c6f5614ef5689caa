#pragma once
// The common CRC-32 (as zip and PNG have it): a replay file's last field, and the chunks
// of the shots that the PNG writer without a library stores. A file of its own so that
// the shot writer needs nothing of the replay format.

#include <cstddef>
#include <cstdint>

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t size);
