#pragma once
// Draws the replay viewer's overlay (viewer_overlay.h) into a layer of the picture's size,
// 640x480 pixels of 0xAARRGGBB (straight alpha), for a presentation layer to put over
// the scaled picture: the cursor's trail, the click marks, the lines of text on a dark
// band, the seek bar, and on "?" the keys.

#include <cstdint>

#include "platform/services/splits_overlay.h"
#include "platform/services/viewer_overlay.h"

constexpr int kOverlayWidth = 640;
constexpr int kOverlayHeight = 480;

// Clears the layer and draws `overlay` into it; false (the layer clear) when it is off.
bool DrawOverlayLayer(const ViewerOverlay& overlay, std::uint32_t* layer);

// Clears the layer and draws the splits over a played round into it.
bool DrawSplitsLayer(const SplitsOverlay& overlay, std::uint32_t* layer);

// What a presentation layer puts over the frame it shows: the replay viewer's overlay
// while a replay is watched, else the splits of the round played. False (and nothing to
// draw; the layer is then left as it was) when there is none.
bool DrawActiveOverlay(std::uint32_t* layer);

// A clip's or a still's caption (the player's name, the mode and the time) on a dark band
// of kCaptionRows from row `top`, over what the layer holds, in text twice the overlay's
// size, centred. Printable ASCII is drawn as it is; any other character (a name's é) as
// "?", one a character; a caption too long for the band ends in "...".
constexpr int kCaptionRows = 24;
constexpr int kCaptionScale = 2;
void DrawCaptionBand(const char* caption, int top, std::uint32_t* layer);

// Where the seek bar's text and bands sit, for tests: the rows the overlay covers at the
// top and the bottom of the picture.
constexpr int kOverlayTopRows = 11;
// Where the splits layer says "NEW BEST!" (three times the text's size) and a notice.
constexpr int kNewBestTop = 118;
constexpr int kNoticeTop = 452;
constexpr int kOverlayBottomTop = 446;
