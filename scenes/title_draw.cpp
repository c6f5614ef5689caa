// Draws one whole frame of the title screen into the back buffer.
#include "media/blit.h"
#include "media/display.h"
#include "objects/instances.h"
#include "scenes/scene_globals.h"
#include "scenes/title.h"
#include "scenes/title_letters.h"

namespace {

void DrawTiles() {
    for (int y = 0; y < 480; y += 16) {
        for (int x = 0; x < 640; x += 16) BlitSprite(x, y, 0, 132, 16, 148);
    }
}

// While it pulses the sign is stretched about its middle by its inflation.
void DrawSign() {
    DrawPos* p = TitleSign.Get();
    if (IsEnd(p)) {
        BlitSprite(149, 100, 0, 0, 340, 124);
        return;
    }
    RECT dest = {149 - p->x, 100 - p->y, 488 + p->x, 223 + p->y};
    RECT src = {0, 0, 340, 124};
    lpBACKSURFACE->Blt(&dest, lpSPRITESURFACE, &src, DDBLT_KEYSRC | DDBLT_WAIT, nullptr);
}

void DrawMenu(int cx, int cy) {
    if (258 < cx && cx < 378 && 290 < cy && cy < 315) {
        BlitSprite(266, 299, 192, 132, 302, 151);
    } else {
        BlitSprite(268, 300, 16, 132, 122, 148);
    }
    if (276 < cx && cx < 360 && 340 < cy && cy < 371) {
        BlitSprite(284, 347, 302, 132, 375, 153);
    } else {
        BlitSprite(286, 350, 122, 132, 192, 149);
    }
}

void DrawLetters() {
    for (int i = 0; i < 12; ++i) {
        DrawPos* p = TitleLetters[i].Get();
        if (IsEnd(p)) continue;
        const TitleLetter& l = kTitleLetters[i];
        BlitSpriteClipped(l.homeX + p->x, kLetterHomeY + p->y, l.left, l.top, l.right, l.bottom);
    }
}

// The wings flap with the clock, not the frame count: the image changes every 10 ms.
void DrawFlies() {
    bool imageA = (TitleTick / 10u) % 2u == 0u;
    for (DrawPos* p = Flies.Get(); !IsEnd(p); p = p->next) {
        if (imageA) {
            BlitSpriteClipped(p->x, p->y, 190, 151, 209, 171);
        } else {
            BlitSpriteClipped(p->x, p->y, 209, 151, 226, 171);
        }
    }
}

}  // namespace

int DrawTitle() {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    DrawTiles();
    DrawSign();
    DrawMenu(cursor.x, cursor.y);
    BlitSprite(326, 450, 0, 149, 125, 159);  // caption strip
    DrawLetters();
    DrawFlies();
    if (MouseDown == 1) {
        BlitSpriteClipped(cursor.x, cursor.y, 226, 151, 242, 183);
    } else {
        BlitSpriteClipped(cursor.x - 4, cursor.y, 242, 151, 260, 181);
    }
    return 1;
}
