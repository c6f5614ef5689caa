#include "replay/playback_position.h"

#include <cstring>

PlaybackPosition g_PlaybackAt;
bool g_PlaybackCloseSent = false;

std::size_t PlaybackPositionSize() { return sizeof(PlaybackPosition); }

void SavePlaybackPosition(unsigned char* out) {
    std::memcpy(out, &g_PlaybackAt, sizeof(PlaybackPosition));
}

void LoadPlaybackPosition(const unsigned char* in) {
    std::memcpy(&g_PlaybackAt, in, sizeof(PlaybackPosition));
    // Put back at a frame's first drain, which is taking place.
    g_PlaybackAt.starting = -1;
    g_PlaybackCloseSent = false;
}
