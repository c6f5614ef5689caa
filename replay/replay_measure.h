#pragma once
// What --verify measures while it plays a round, from the game's own state: the signs of
// machine play (replay/core/replay_signs.h), the keys that changed how fast the flies
// come, and the frame of every swat (the round's identity by what the game did).
// Fed by playback in the order the game meets its inputs; nothing seeks meanwhile.

#include <cstddef>
#include <cstdint>
#include <string>

#include "replay/core/replay_format.h"

void MeasureStart(const ReplayHeader& header);

// Which swats of a long round the steering measure ranks (one in `stride`) is chosen by a
// key: ZUMBLE_SAMPLE_KEY (hexadecimal), which the board sets to a secret of its own, so
// that a player cannot know which swats are looked at and steer only the others. Unset:
// 0, every `stride`-th swat. False when it is set but not a hexadecimal number.
bool SampleKeyFromEnvironment(std::uint64_t* key);
void MeasureSetSampleKey(std::uint64_t key);
bool SteerSampled(std::uint64_t key, int index, int stride);
void MeasureFrameStart(std::uint32_t tick);
// The frame's first drain, before its messages: the round's deal is kept for the
// measure of steering.
void MeasureFrameDrains();
void MeasureCursor(int x, int y);
// A message, just before the game takes it.
void MeasureMessage(const ReplayInput& in);
// The flip that ends frame `frame` (from 0), after the game's step.
void MeasureFrameEnd(long long frame);

// Each "-" when nothing was measured (a replay watched in a window, which may seek).
struct MeasureResult {
    char signs[256];
    char keys[16];   // Enter and Space presses that changed the spawn rate while flies were to come
    char swats[65];  // ReplaySwatsIdentity
    std::string swatFrames;  // SwatFramesText (replay/core/swat_frames.h)
};
void MeasureFinish(MeasureResult* out);
