#include "tools/critters.h"
#include "tools/palette.h"
#include "tools/place.h"
#include "tools/sheet_layout.h"
#include "tools/sheets.h"
#include "tools/title_art.h"

Image BuildTitleSheet() {
    using namespace title_sheet;
    const std::uint8_t key = pal::Key;
    Image sheet(640, kRows, key);
    Place(sheet, DrawTitleSign(key), kSign);
    Place(sheet, DrawGinghamTile(key), kTile);
    Place(sheet, DrawMenuEntry("START", false, kStart.Width(), kStart.Height(), key), kStart);
    Place(sheet, DrawMenuEntry("QUIT", false, kQuit.Width(), kQuit.Height(), key), kQuit);
    Place(sheet, DrawMenuEntry("START", true, kStartLit.Width(), kStartLit.Height(), key),
          kStartLit);
    Place(sheet, DrawMenuEntry("QUIT", true, kQuitLit.Width(), kQuitLit.Height(), key), kQuitLit);
    Place(sheet, DrawCaption(kCaption.Width(), kCaption.Height(), key), kCaption);
    for (int n = 0; n < 8; ++n) {
        const Rect glyph{kGlyphLeft[n], kGlyphTop, kGlyphLeft[n + 1], kGlyphBottom};
        Place(sheet, DrawLetterGlyph(n, glyph.Width(), key), glyph);
    }
    Place(sheet, DrawFly(true, key), kFlyA);
    Place(sheet, DrawFly(false, key), kFlyB);
    Place(sheet, DrawSwatterDown(key), kSwatterDown);
    Place(sheet, DrawSwatterUp(key), kSwatterUp);
    return sheet;
}
