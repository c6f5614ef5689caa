#pragma once
// Watching a replay: pause, step, seek and change speed, and the player's hand drawn over
// the picture.
//
// The viewer runs inside the game's own loop. At every flip that ends one of the round's
// frames it shows the frame (at the chosen speed), takes the controls, and while paused
// or at the round's last frame waits there, showing the same frame, until a control
// moves it. A seek never replays from the start at normal speed: the viewer keeps
// snapshots of the game's state (its globals and containers, byte for byte) taken at the
// start of frames as they are first played, puts the nearest one at or before the target
// back at the start of the next frame, and plays on from there without drawing, pacing,
// presenting or sound until the frame before the target; the target itself is drawn as
// the game draws it. So a seek lands on exactly the state, and the picture, that linear
// playback reaches at that frame.
//
// Sound plays at 1x only; it is cut (every one-shot stopped, the output muted) while
// seeking, while paused and at other speeds.
//
// The overlay (ViewerDescribeOverlay) is plain data in the picture's 640x480
// coordinates, for the presentation layer to draw over the scaled picture; nothing of it
// is ever drawn into the game's 8-bit surface, so the game's pictures stay its own.
//
// Frames are the round's (0: the frame of the start click; frames() - 1: the last shown,
// which in a window is the round's last picture: a round left to mode select ends, in its
// file, on the black frame of the leave, which the viewer leaves out).

#include <cstdint>

#include "platform/services/viewer_input.h"
#include "platform/services/viewer_overlay.h"

// --- set-up (replay_play.cpp calls these) -----------------------------------------------

// The round to watch, once the file has been read and checked. Allocates everything the
// viewer needs (the snapshots, the per-frame cursor and click index) here, never later.
// interactive: a window (or the page) shows it and takes the controls; headless the
// viewer only plays on, unless a test drives it through the functions below.
struct ReplayFile;
bool ViewerLoad(const ReplayFile& file, bool interactive);
// A round still being played (replay/replay_live.h): its header as it began, no frames
// yet. Allocates for the most a watched round may hold, here, never later.
bool ViewerLoadGrowing(const ReplayFile& head, bool interactive);
// More of that round has come: `held` frames are all there, its coded frames end at
// `inputEnd`; `whole`: the round has ended and `file` is the whole file. The viewer's end
// is the frames there so far (one kept back: playback reads the next frame's clock as a
// frame ends); at it a window stands still and says it is waiting, and goes on as more
// come. Headless, playback ends there.
void ViewerGrow(const ReplayFile& file, const std::uint8_t* inputEnd, std::uint32_t held,
                bool whole);
// The round is still being played, and the frame shown is the last one there.
bool ViewerWaitingForFrames();
// True between ViewerLoad and the end of the run.
bool ViewerLoaded();
// Playback's two moments: the first drain of the game's loop in `frame` (the game's state
// is then whole, and a seek may put a snapshot back), and the flip that ends `frame`.
void ViewerFrameStarts(long long frame);
void ViewerFrameEnds(long long frame);
// The game has ended: the platform is left as it was (pixels, pacing, sound).
void ViewerFinish();

// --- the controls ------------------------------------------------------------------------

// The frame now shown (the last whose flip completed), and the count of frames shown.
long long ViewerFrame();
long long ViewerFrames();

void ViewerSetPaused(bool paused);
void ViewerTogglePause();  // Space
bool ViewerPaused();
// One frame back (,) or forward (.): pauses first. Back is a seek to the frame before.
void ViewerStep(int frames);
// Goes to `frame`, cut to 0 .. frames() - 1. Keeps pausing or playing as it was.
void ViewerSeek(long long frame);
// Left/Right: 5 s (300 frames) back or on; with Shift 30 s.
void ViewerSkipSeconds(int seconds);
void ViewerHome();  // frame 0
void ViewerEnd();   // the last frame

// Speeds 0.25x, 0.5x, 1x, 2x, 4x; 1x at the start.
constexpr int kViewerSpeedCount = 5;
constexpr int kViewerNormalSpeed = 2;
void ViewerSpeedStep(int direction);  // -1 slower (-), +1 faster (+); stops at the ends
int ViewerSpeedIndex();
// The speed as a fraction of 60 frames a second (0.25 .. 4).
double ViewerSpeed();

void ViewerToggleOverlay();  // O; shown at the start
bool ViewerOverlayShown();
void ViewerToggleHelp();  // ?: every key, one a line
// Escape: the viewer ends the game (the window closes).
void ViewerLeave();
bool ViewerLeaving();

// Every key of the viewer. False when the key does nothing here.
bool ViewerHandleKey(ViewerKey key, bool shift);

// --- the seek bar (its place: platform/services/viewer_overlay.h) ---------------------------

// The frame at a fraction (0..1, cut) of the bar: 0 the first, 1 the last.
long long ViewerFrameAtFraction(double fraction);
// Where `frame` sits on the bar, 0..1.
double ViewerFractionOfFrame(long long frame);
// A click or drag on the bar at `fraction` of its width: seeks there (the press and every
// move while held; playback holds still while the bar is held and goes on as it was when
// it is let go).
void ViewerSeekBarAt(ViewerPointer phase, double fraction);
// A pointer in picture coordinates: presses on the bar go to ViewerSeekBarAt, and a held
// bar follows the pointer wherever it goes. True when the bar took it.
bool ViewerPointerAt(ViewerPointer phase, double x, double y);

// --- the overlay (platform/services/viewer_overlay.h) ---------------------------------------

// The overlay for the frame now shown.
void ViewerDescribeOverlay(ViewerOverlay* out);

// --- for presentation layers and tests -------------------------------------------------

// True while a seek plays frames without drawing (nothing is presented then).
bool ViewerSeeking();

// Called each time a frame is reached and shown: every frame of plain playback, and the
// target when a seek lands. Tests and benchmarks drive the viewer from here (a headless
// viewer never waits: what it does next is what this asks for). Null: nobody.
using ViewerArrival = void (*)(long long frame);
void SetViewerArrival(ViewerArrival arrival);

// How the seeks went: snapshots kept and frames played without drawing since the start.
struct ViewerCounts {
    long long snapshots;
    long long seeks;
    long long framesResimulated;
    long long storeBytes;     // the snapshots' store, allocated once when the replay is loaded
    long long snapshotEvery;  // frames between two snapshots
};
ViewerCounts ViewerCountsSoFar();
