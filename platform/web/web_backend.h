#pragma once
// Inside the browser's backend: the pieces its files share.

// Input (platform/web/web_input.cpp): listens to the page's events, and turns the events
// that came since the last pump into window messages.
void WebListen();
void WebStopListening();
void WebPumpInput();
// Gamepads (platform/web/web_pad.cpp): the connected pads to the game, at every pump.
void WebPadPump();

// Sound (platform/web/web_audio.cpp): one game frame's mix for the page's audio output.
void WebPlayFrameMix(const short* samples, int frames);

// The page's address gave a calendar time (main/web/web_main.cpp): without a script the
// game then seeds its flies from it instead of from the clock.
bool WebTimeGiven();

// The replay viewer's overlay (platform/web/web_overlay.cpp): drawn by the page over the
// picture just presented, or cleared when no replay is watched.
void WebDrawOverlay();
// Keeps the round so far when the page asked for it (ZumbleKeepRoundAsk): in the game's
// own frame, since keeping takes the player's files' lock, which waits.
void WebKeepAskedRound();

// Data files that come after the start (platform/web/web_late_files.cpp): the entry gives
// the game's reader of them; the input pump has it read them once the page has them.
void WebSetLateFileReader(void (*reader)());
void WebReadLateFiles();
