#include "tools/critters.h"
#include "tools/mode_art.h"
#include "tools/palette.h"
#include "tools/place.h"
#include "tools/sheet_layout.h"
#include "tools/sheets.h"

// Number and unit share one baseline: each sits at mid height in its box, and the unit
// hugs its left edge since the scene spaces the pieces itself.
static Image InBox(const Image& art, const Rect& box, bool centred) {
    return FitInBox(art, box.Width(), box.Height(), centred);
}

Image BuildModeSheet() {
    using namespace mode_sheet;
    const std::uint8_t key = pal::ModeKey;
    Image sheet(640, kRows, key);
    Place(sheet, InBox(DrawCountText("FLIES", key), kFlies, false), kFlies);
    Place(sheet, InBox(DrawCountText("0", key), kZero, true), kZero);
    Place(sheet, InBox(DrawSlimOne(key), kOne, true), kOne);
    Place(sheet, InBox(DrawCountText("3", key), kThree, true), kThree);
    for (int speed = 0; speed < 4; ++speed)
        Place(sheet, InBox(DrawSpeedCaption(speed, key), kSpeed[speed], true), kSpeed[speed]);
    Place(sheet, DrawButton(kBack.Width(), kBack.Height(), "BACK", false, key), kBack);
    Place(sheet, DrawButton(kStart.Width(), kStart.Height(), "START", true, key), kStart);
    Place(sheet, DrawSwatterDown(key), kSwatterDown);
    Place(sheet, DrawSwatterUp(key), kSwatterUp);
    Place(sheet, DrawArrow(true, true, key), kLeftOn);
    Place(sheet, DrawArrow(false, true, key), kRightOn);
    Place(sheet, DrawArrow(true, false, key), kLeftOff);
    Place(sheet, DrawArrow(false, false, key), kRightOff);
    Place(sheet, DrawFeltTile(key), kTile);
    return sheet;
}
