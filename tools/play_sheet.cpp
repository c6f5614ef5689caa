#include "tools/critters.h"
#include "tools/digit_strip.h"
#include "tools/hud_art.h"
#include "tools/palette.h"
#include "tools/place.h"
#include "tools/sheet_layout.h"
#include "tools/sheets.h"
#include "tools/table_background.h"

Image BuildPlaySheet() {
    using namespace play_sheet;
    const std::uint8_t key = pal::Key;
    Image sheet(640, kRows, key);
    Place(sheet, DrawTableBackground(), kBackground);
    Place(sheet, DrawFly(true, key), kFlyA);
    Place(sheet, DrawFly(false, key), kFlyB);
    Place(sheet, DrawDeadFly(key), kBody);
    Place(sheet, DrawSwatterDown(key), kSwatterDown);
    Place(sheet, DrawSwatterUp(key), kSwatterUp);
    Place(sheet, DrawClockLabel(key), kClockLabel);
    Place(sheet, DrawSwatCountLabel(key), kSwatLabel);
    Place(sheet, DrawFlyCountLabel(key), kFlyLabel);
    for (int stage = 0; stage < 3; ++stage)
        Place(sheet, DrawSplat(kMark[stage].Width(), kMark[stage].Height(), stage, key),
              kMark[stage]);
    Place(sheet, DrawWingScrap(key), kDebrisA);
    Place(sheet, DrawGooDrop(key), kDebrisB);
    Place(sheet, DrawResultsBoard(key), kBoard);
    DrawDigitStrip(sheet);
    return sheet;
}
