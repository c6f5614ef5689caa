#include "media/blit.h"

#include "media/display.h"

HRESULT BlitSprite(int x, int y, int left, int top, int right, int bottom) {
    if (!lpBACKSURFACE || x < 0 || y < 0) return DDERR_INVALIDRECT;
    RECT src = {left, top, right, bottom};
    return lpBACKSURFACE->BltFast(static_cast<DWORD>(x), static_cast<DWORD>(y), lpSPRITESURFACE,
                                  &src, DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT);
}

HRESULT BlitSpriteClipped(int x, int y, int left, int top, int right, int bottom) {
    if (!lpBACKSURFACE) return DDERR_GENERIC;
    RECT dest = {x, y, x + right - left, y + bottom - top};
    RECT src = {left, top, right, bottom};
    if (dest.left < 0) {
        src.left -= dest.left;
        dest.left = 0;
    }
    if (dest.right > 640) {
        src.right -= dest.right - 640;
        dest.right = 640;
    }
    if (dest.top < 0) {
        src.top -= dest.top;
        dest.top = 0;
    }
    if (dest.bottom > 480) {
        src.bottom -= dest.bottom - 480;
        dest.bottom = 480;
    }
    return lpBACKSURFACE->Blt(&dest, lpSPRITESURFACE, &src, DDBLT_KEYSRC | DDBLT_WAIT, nullptr);
}
