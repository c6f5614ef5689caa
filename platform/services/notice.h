#pragma once
// A short line shown over the picture for a moment: what a key the game never hears just
// did ("splits off (S)", "sound on (M)"), or what changed in a round ("pace changed").
// Drawn with the splits (splits_overlay.h), by every presentation layer, never into the
// game's 8-bit picture.

// How many presented frames a notice stays (a second and a half at 60 a second).
constexpr int kNoticeFrames = 90;
constexpr int kNoticeSize = 96;

// Shows `text` (cut to kNoticeSize - 1 bytes) from the next frame, in place of any other,
// for kNoticeFrames frames or `frames`; an empty text takes the notice away.
void ShowNotice(const char* text);
void ShowNoticeFor(const char* text, int frames);

// The notice to draw now, or nullptr when there is none.
const char* CurrentNotice();

// A presentation layer calls this once for each frame it shows.
void NoticeFramePassed();
