#pragma once
// Where playback stands in its replay: the file's reader, the phase, the clock and the
// round's time so far. The player (replay_play.cpp) moves it on as the game takes its
// input; the viewer (replay_viewer.cpp) keeps a copy of it with each snapshot of the
// game's state and puts it back with it.

#include <cstddef>
#include <cstdint>

#include "replay/core/replay_format.h"

enum class PlaybackPhase { LeadIn, Playing, Done, Stopped };

struct PlaybackPosition {
    ReplayReader reader;
    PlaybackPhase phase = PlaybackPhase::LeadIn;
    std::uint32_t tick = 0;
    bool timeKnown = false;
    std::uint32_t time = kReplayNoTime;
    // The frame whose first drain comes next; -1 once that drain has begun.
    long long starting = -1;
};

// The run's playback.
extern PlaybackPosition g_PlaybackAt;
// The game has been told to close at the end of playback. Not part of a position: one
// that is put back plays on from there, and the close is to be told again.
extern bool g_PlaybackCloseSent;

// A position as bytes, for the viewer's snapshots.
std::size_t PlaybackPositionSize();
void SavePlaybackPosition(unsigned char* out);
void LoadPlaybackPosition(const unsigned char* in);
