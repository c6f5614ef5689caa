#pragma once
// The frame of every swat of a round, as one token of the verifier's answer (swat_frames=),
// so that a board can tell a copy whose swats were each moved a frame or two from the
// round it copies. The frames are those ReplaySwatsIdentity digests: counted from the
// frame that began the round, in the order the flies were swatted (never decreasing).
// Written as each frame less the one before it (the first less 0), each of those numbers
// in digits of the URL-safe base64 alphabet (A-Z a-z 0-9 - _, worth 0..63): a digit holds
// five bits of the number, lowest first, plus 32 when more digits of it follow. A swat
// a frame after the last costs one character, so a round of 1000 flies takes about as
// many; "-" is a round without swats.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The token for `count` frames (never decreasing).
std::string SwatFramesText(const std::uint32_t* frames, std::size_t count);

// Reads a token back; false (and *frames left empty) for anything SwatFramesText does not
// write: another character, a number cut short or over 2^32 - 1, frames past 2^32 - 1,
// more than `most` frames, or a digit of more than it needs (a number's last digit 0).
bool ReadSwatFrames(const std::string& text, std::size_t most, std::vector<std::uint32_t>* frames);

// Whether two rounds' swats are each within `slack` frames of the other's: the same number
// of swats, and the k-th of one at most `slack` frames from the k-th of the other.
bool SwatsWithin(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b,
                 std::uint32_t slack);
