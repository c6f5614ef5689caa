#pragma once
// A synthetic title sheet: every image of the title has its own palette index, the
// rest of the sheet is the colour key.

#include "tests/support/game_fixture.h"

namespace title_sheet {

constexpr BYTE kKey = 255;
constexpr BYTE kSign = 1, kTile = 2, kStart = 3, kQuit = 4, kStartLit = 5, kQuitLit = 6;
constexpr BYTE kCaption = 7;
constexpr BYTE kGlyph[8] = {10, 11, 12, 13, 14, 15, 16, 17};  // glyphs of letters 1..8
constexpr BYTE kWingA = 20, kWingB = 21, kPressed = 22, kRaised = 23;

inline void Build(bool withSwatter = true) {
    SetSpriteKey(kKey);
    FillSprite(0, 0, 640, 480, kKey);
    FillSprite(0, 0, 340, 124, kSign);
    FillSprite(0, 132, 16, 148, kTile);
    FillSprite(16, 132, 122, 148, kStart);
    FillSprite(122, 132, 192, 149, kQuit);
    FillSprite(192, 132, 302, 151, kStartLit);
    FillSprite(302, 132, 375, 153, kQuitLit);
    FillSprite(0, 149, 125, 159, kCaption);
    const int edges[9] = {125, 134, 142, 145, 153, 162, 171, 181, 190};
    for (int g = 0; g < 8; ++g) FillSprite(edges[g], 149, edges[g + 1], 164, kGlyph[g]);
    FillSprite(190, 151, 209, 171, kWingA);
    FillSprite(209, 151, 226, 171, kWingB);
    if (withSwatter) {
        FillSprite(226, 151, 242, 183, kPressed);
        FillSprite(242, 151, 260, 181, kRaised);
    }
}

}  // namespace title_sheet
