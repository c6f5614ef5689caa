#pragma once
// How the picture reaches the screen, decided from what the display reports: through the
// graphics driver's renderer, or written by the CPU straight into the window's pixels;
// and whether the display's refresh paces the game's 60 frames a second.

enum class PresentPath { Renderer, Surface };

// What the player or a test asked for (ZUMBLE_PRESENT): auto, renderer or surface.
enum class PresentRequest { Auto, Renderer, Surface };
// Reads "auto", "renderer" or "surface" (also an empty or missing value, as auto); false
// for anything else.
bool ParsePresentRequest(const char* text, PresentRequest* out);

// What the display reported. `glRenderer` is the GL driver's own name when the renderer
// draws with GL (null otherwise): a GL driver that rasterises on the CPU reports itself as
// accelerated, yet scaling through it costs more than writing the pixels directly.
struct PresentFacts {
    bool haveRenderer = false;         // a renderer could be created at all
    bool rendererAccelerated = false;  // it says it is accelerated
    const char* glRenderer = nullptr;
    bool surfaceUsable = false;  // the window's pixels are 32-bit with 8-bit channels
};

// True for the names of GL drivers that rasterise on the CPU (llvmpipe and the like).
bool IsSoftwareGl(const char* glRenderer);

// The path for these facts: the request when it can be honoured, otherwise the renderer
// where the GPU scales, the window's pixels where nothing would.
PresentPath ChoosePresentPath(PresentRequest request, const PresentFacts& facts);

// How many refreshes of a display at `refreshHz` make one game frame when the refresh
// paces the game: 1 at 60 Hz, 2 at 120 Hz, 4 at 240 Hz. 0 where the rate is unknown (0)
// or not a whole multiple of 60: the game then keeps its own timer and shows each frame
// as soon as it is drawn.
int RefreshesPerGameFrame(int refreshHz);

// Whether vsync may pace the game. A driver may accept vsync and not wait (a minimised
// window does that too): after a second of frames that came early the timer takes over.
// That is decided again when the display's pacing may have changed: after a size
// change, an exposure or a switch between window and full screen.
struct VsyncTrust {
    int earlyFrames = 0;
    bool refused = false;
};
constexpr int kEarlyFramesToRefuseVsync = 60;

// Counts one frame paced by vsync, early or not; true when vsync must now be given up.
bool VsyncFrameShown(VsyncTrust* trust, bool early);
// The display may pace the game differently now: vsync may be tried again.
void VsyncTryAgain(VsyncTrust* trust);
