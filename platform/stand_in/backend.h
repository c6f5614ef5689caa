#pragma once
// What a backend gives the portable core: the window and its input, the picture, the
// clocks, the pacing and the sound output. Everything else (the DirectDraw and
// DirectSound stand-ins, the mixer, the message queue, trace, files) is the core's and is
// the same on every platform.
//
// A backend is a table of plain functions, chosen once at start-up (SDL2 or headless on
// the desktop; the web and Windows builds link their own). A table reads as the list of
// what a platform must do, needs no class hierarchy, and costs one indirect call per
// operation: a handful per frame.

#include "platform/stand_in/win32.h"

#include <cstdint>
#include <ctime>

struct PALETTEENTRY;

// Pulls the next `frames` frames of the mix (interleaved 16-bit stereo at MIX_RATE)
// from the core; an audio output calls it from whatever thread feeds the device.
using AudioPull = void (*)(std::int16_t* out, int frames);

struct Backend {
    const char* name;

    // Start-up and the end. start() returns false when the backend cannot run at all
    // (a message on stderr); a desktop without a display still starts, and then
    // hasDisplay() is false, which DirectDraw reports to the game.
    bool (*start)();
    void (*shutdown)();
    bool (*hasDisplay)();

    // The one game window. Input becomes window messages through PostGameMessage.
    bool (*createWindow)(const char* title);
    void (*destroyWindow)();
    void (*pumpInput)();

    // Shows the 640x480 8-bit picture through its 256-entry palette.
    void (*present)(const std::uint8_t* pixels, const PALETTEENTRY* palette);
    void (*showCursor)(bool show);
    void (*messageBox)(const char* text, const char* caption);

    // GetTickCount and the calendar time that seeds the random sequence.
    DWORD (*ticks)();
    std::time_t (*calendarTime)();
    // Waits for the next 1/60 s frame slot (a Flip with DDFLIP_WAIT).
    void (*waitForFrame)();
    // Runs when the N-th flip of the primary surface has completed (after the core's
    // own flip hooks have seen it).
    void (*afterFlip)(long long frame);

    // The sound output: true when a device now pulls the mix; false for none (the core
    // then advances the mix by one frame's worth per flip and hands it to mixWithoutOutput).
    bool (*openAudio)(AudioPull pull);
    void (*closeAudio)();
    void (*mixWithoutOutput)(const std::int16_t* samples, int frames);
};

// The members that most backends fill alike (backend_defaults.cpp), for their tables:
// the C runtime's calendar time, nothing after a flip, and the mix let go when no output
// plays it.
std::time_t SystemCalendarTime();
void NothingAfterFlip(long long frame);
void DiscardMix(const std::int16_t* samples, int frames);

// The running backend, chosen by PlatformInit (the headless one until then).
const Backend& ActiveBackend();

// Chooses the backend for this run from g_Options: each platform's build defines it once.
const Backend& ChooseBackend();

// The deterministic backend of tests, screenshots and benchmarks, in every build.
const Backend& HeadlessBackend();
