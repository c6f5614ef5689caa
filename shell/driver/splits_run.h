#pragma once
// Splits over the rounds a player plays: at a round's start the reference (the mode's
// best kept replay, or the run raced) is played out of sight for its clock at each
// count, and the overlay (platform/services/splits_overlay.h) shows after each swat how far
// ahead or behind it the round is, and on the results board what the time came to.
// Nothing of it reaches the game's picture, its state or its replay.

#include <string>

// A run that plays rounds (not one that watches or verifies a replay) calls it once the
// game's files are found. Takes its buffers here.
void StartSplits();

// The run raced (--race FILE, or the page's Race), read now: the reference of every
// round of its mode from here on, and the game goes to mode select in that mode as soon
// as it is on the title or at mode select. `name` is whose run it is (empty: the file's
// name). False, with the reason in *error, when the file cannot be raced (unreadable,
// not a replay, a round left before its last fly).
bool SetRaceReference(const char* path, const char* name, std::string* error);
