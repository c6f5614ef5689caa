#pragma once
// The encoder of a replay's clip: pictures of 32-bit ARGB at 60 frames a second and the
// mix (interleaved 16-bit stereo at MIX_RATE) in, one video file out. The desktop build
// has one (platform/clip_webm/); builds without it refuse at the open (platform/clip_none/).
// The same pictures and sound always give the same bytes.

#include <cstdint>
#include <string>

struct ClipEncoder;

// Starts the clip of width x height pixels (even numbers) in a file of its own beside
// `path`; nothing is at `path` until CloseClipEncoder has finished it. Null, with the
// reason in *error, when it cannot start.
ClipEncoder* OpenClipEncoder(const std::string& path, int width, int height, std::string* error);
// The next picture, width * height pixels of 0xAARRGGBB (alpha ignored), a row after row.
bool ClipAddPicture(ClipEncoder* clip, const std::uint32_t* argb, std::string* error);
// The sound that goes with the pictures given so far.
bool ClipAddSound(ClipEncoder* clip, const std::int16_t* samples, int frames, std::string* error);
// Finishes the file and puts it at `path`; false with the reason when that fails (nothing
// is left then). Frees the encoder either way.
bool CloseClipEncoder(ClipEncoder* clip, std::string* error);
// Drops the clip: its file is removed and `path` keeps what it held.
void DiscardClipEncoder(ClipEncoder* clip);
// What the clips of this build are, for the messages: "VP9 and Opus in WebM".
const char* ClipFormatName();
