// Encodes mono 16-bit PCM as a RIFF/WAVE file: "fmt " with a 16-byte format record
// first, then "data", nothing else.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kSampleRate = 22050;

std::vector<std::uint8_t> EncodeWave(const std::vector<std::int16_t>& samples);
