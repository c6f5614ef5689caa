#pragma once
// Inside the platform: how a flip or a palette change reaches the backend.

// Shows the primary surface through its palette. `flipped` is false when only the
// palette changed.
void PresentFront(bool flipped);
// Ends a flip of the primary surface: paces to the next 1/60 s slot when asked,
// advances the frame count and runs the flip hooks.
void CompleteFlip(bool wait);
