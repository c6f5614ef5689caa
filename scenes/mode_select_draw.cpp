// Draws one whole frame of the mode-select screen from the two settings, the cursor
// and the mouse button alone.
#include "media/blit.h"
#include "scenes/mode_select.h"
#include "scenes/scene_globals.h"

namespace {

struct Rect {
    int left, top, right, bottom;
};

constexpr Rect kUnitLabel = {0, 0, 127, 43};
constexpr Rect kZero = {127, 0, 155, 43};
constexpr Rect kOne = {155, 0, 170, 43};
constexpr Rect kThree = {170, 0, 196, 43};
constexpr Rect kSpeedCaptions[4] = {
    {223, 0, 402, 43}, {402, 0, 524, 43}, {0, 43, 218, 88}, {218, 43, 357, 88}};
constexpr int kSpeedCaptionX[4] = {231, 259, 211, 251};
constexpr Rect kBackButton = {360, 43, 491, 85};
constexpr Rect kStartButton = {0, 88, 292, 132};
constexpr Rect kPressedSwatter = {292, 88, 308, 120};
constexpr Rect kRaisedSwatter = {308, 88, 326, 118};
constexpr Rect kLeftArrow = {0, 132, 11, 150};
constexpr Rect kRightArrow = {11, 132, 22, 150};
constexpr Rect kLeftArrowOff = {22, 132, 33, 150};
constexpr Rect kRightArrowOff = {33, 132, 44, 150};
constexpr Rect kTile = {44, 132, 60, 148};

constexpr int kCountRowY = 64;
constexpr int kSpeedRowY = 180;

void Blit(int x, int y, const Rect& r) { BlitSprite(x, y, r.left, r.top, r.right, r.bottom); }

// Each number is laid out so that it and its unit label sit about x = 320.
void DrawFlyCount(int setting) {
    switch (setting) {
    case 0:
        Blit(220, kCountRowY, kOne);
        Blit(250, kCountRowY, kZero);
        Blit(293, kCountRowY, kUnitLabel);
        break;
    case 1:
        Blit(215, kCountRowY, kThree);
        Blit(256, kCountRowY, kZero);
        Blit(299, kCountRowY, kUnitLabel);
        break;
    case 2:
        Blit(199, kCountRowY, kOne);
        Blit(229, kCountRowY, kZero);
        Blit(272, kCountRowY, kZero);
        Blit(315, kCountRowY, kUnitLabel);
        break;
    case 3:
        Blit(178, kCountRowY, kOne);
        Blit(208, kCountRowY, kZero);
        Blit(251, kCountRowY, kZero);
        Blit(294, kCountRowY, kZero);
        Blit(337, kCountRowY, kUnitLabel);
        break;
    default: break;
    }
}

void DrawArrows(int y, int setting) {
    Blit(120, y, setting != 0 ? kLeftArrow : kLeftArrowOff);
    Blit(510, y, setting != 3 ? kRightArrow : kRightArrowOff);
}

}  // namespace

int DrawModeSelect() {
    for (int y = 0; y < 480; y += 16) {
        for (int x = 0; x < 640; x += 16) Blit(x, y, kTile);
    }
    DrawFlyCount(FlyCountSetting);
    DrawArrows(76, FlyCountSetting);
    if (SpeedSetting >= 0 && SpeedSetting <= 3) {
        Blit(kSpeedCaptionX[SpeedSetting], kSpeedRowY, kSpeedCaptions[SpeedSetting]);
    }
    DrawArrows(192, SpeedSetting);
    Blit(174, 300, kStartButton);
    Blit(255, 380, kBackButton);

    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    const Rect& swatter = MouseDown == 1 ? kPressedSwatter : kRaisedSwatter;
    int x = MouseDown == 1 ? cursor.x : cursor.x - 4;
    BlitSpriteClipped(x, cursor.y, swatter.left, swatter.top, swatter.right, swatter.bottom);
    return 1;
}
