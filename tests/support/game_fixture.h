#pragma once
// Test support: a headless game display with a synthetic sprite sheet.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/stand_in/ddraw.h"

// Starts the headless platform, creates the game window and runs InitDisplay, once per
// test program; later calls only reset the cursor, MouseDown and the surfaces' contents.
void StartHeadlessGame();

// Fills a rectangle (right/bottom exclusive) of the sprite surface with one index.
void FillSprite(int left, int top, int right, int bottom, BYTE index);
// Fills the whole back buffer with one index.
void FillBack(BYTE index);
BYTE BackPixel(int x, int y);
BYTE SpritePixel(int x, int y);
// Sets the sprite surface's colour key.
void SetSpriteKey(BYTE key);
// Moves the game cursor (what GetCursorPos reads).
void MoveCursor(int x, int y);
// Counts the back-buffer pixels equal to index inside a rectangle (right/bottom exclusive).
int CountBack(int left, int top, int right, int bottom, BYTE index);
// Bounding box of the back-buffer pixels equal to index; false when there are none.
bool FindBack(BYTE index, RECT* box);

// Bounding box of the back-buffer pixels equal to index ({-1,-1,-1,-1} when none), and
// the expectation that it is exactly the given rectangle.
RECT Box(BYTE index);
void ExpectBox(BYTE index, int left, int top, int right, int bottom);

// A temporary directory, made fresh, removed at exit; tests chdir into it for files.
std::string MakeTempDir();
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
