// DirectDraw on plain 8-bit buffers: the blitter's rules (exact indices, the source
// colour key, rectangles checked against both surfaces) done in software.
#include "platform/stand_in/ddraw.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/stand_in/backend.h"
#include "platform/stand_in/runtime.h"

namespace {

IDirectDrawSurface* g_primary = nullptr;
IDirectDrawSurface* g_surfaces[8] = {};
bool g_skipPixels = false;

// Nothing is drawn while pixels are skipped or a round is played aside.
bool Skipping() { return g_skipPixels || ActiveFlipAside(); }

void Track(IDirectDrawSurface* s) {
    for (auto& slot : g_surfaces)
        if (!slot) {
            slot = s;
            return;
        }
}

void Untrack(IDirectDrawSurface* s) {
    for (auto& slot : g_surfaces)
        if (slot == s) slot = nullptr;
}

bool ValidRect(const RECT& r, int width, int height) {
    return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height &&
           r.left <= r.right && r.top <= r.bottom;
}

// Copies a same-size block, leaving keyed source pixels out.
void CopyBlock(IDirectDrawSurface* dst, int dx, int dy, const IDirectDrawSurface* src,
               const RECT& sr, bool keyed) {
    if (Skipping()) return;
    const int w = sr.right - sr.left;
    const int h = sr.bottom - sr.top;
    const BYTE key = src->colorKey;
    for (int row = 0; row < h; ++row) {
        const BYTE* s = &src->pixels[static_cast<size_t>(sr.top + row) * src->width + sr.left];
        BYTE* d = &dst->pixels[static_cast<size_t>(dy + row) * dst->width + dx];
        if (!keyed) {
            std::memcpy(d, s, static_cast<size_t>(w));
            continue;
        }
        for (int col = 0; col < w; ++col)
            if (s[col] != key) d[col] = s[col];
    }
}

// Shows the primary surface through its palette.
void PresentFront() {
    if (Skipping()) return;
    if (g_primary && g_primary->palette)
        ActiveBackend().present(g_primary->pixels.data(), g_primary->palette->entries);
}

}  // namespace

IDirectDrawSurface* PrimarySurface() { return g_primary; }

void SkipPixels(bool skip) { g_skipPixels = skip; }

void PresentFrontAgain() { PresentFront(); }

void LoseAllSurfaces() {
    for (auto* s : g_surfaces)
        if (s) s->lost = true;
}

HRESULT DirectDrawCreate(void*, LPDIRECTDRAW* out, void*) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (!ActiveBackend().hasDisplay()) return DDERR_GENERIC;
    *out = new (std::nothrow) IDirectDraw();
    return *out ? DD_OK : DDERR_OUTOFMEMORY;
}

HRESULT IDirectDraw::SetCooperativeLevel(HWND hwnd, DWORD flags) {
    if (!hwnd) return DDERR_INVALIDPARAMS;
    window = hwnd;
    cooperativeFlags = flags;
    return DD_OK;
}

// The picture is always 640x480x8, scaled by the backend; no other mode exists.
HRESULT IDirectDraw::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel) {
    if (width != 640 || height != 480 || bitsPerPixel != 8) return DDERR_INVALIDMODE;
    modeSet = true;
    return DD_OK;
}

HRESULT IDirectDraw::RestoreDisplayMode() {
    modeSet = false;
    return DD_OK;
}

HRESULT IDirectDraw::CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void*) {
    // As DirectDraw does, a structure must carry its own size (sizeof, not another
    // platform's number).
    if (!desc || !out || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    const bool primary = (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) != 0;
    int width = 640, height = 480;
    if (!primary) {
        if (!(desc->dwFlags & DDSD_WIDTH) || !(desc->dwFlags & DDSD_HEIGHT))
            return DDERR_INVALIDPARAMS;
        if (desc->dwWidth == 0 || desc->dwHeight == 0 || desc->dwWidth > 4096 ||
            desc->dwHeight > 4096)
            return DDERR_INVALIDPARAMS;
        width = static_cast<int>(desc->dwWidth);
        height = static_cast<int>(desc->dwHeight);
    } else if (!modeSet || g_primary) {
        return DDERR_GENERIC;
    }
    auto* s = new (std::nothrow) IDirectDrawSurface();
    if (!s) return DDERR_OUTOFMEMORY;
    s->width = width;
    s->height = height;
    s->pixels.assign(static_cast<size_t>(width) * height, 0);
    s->primary = primary;
    Track(s);
    if (primary) {
        if ((desc->dwFlags & DDSD_BACKBUFFERCOUNT) && desc->dwBackBufferCount == 1 &&
            (desc->ddsCaps.dwCaps & DDSCAPS_FLIP)) {
            auto* back = new (std::nothrow) IDirectDrawSurface();
            if (!back) {
                s->Release();
                return DDERR_OUTOFMEMORY;
            }
            back->width = width;
            back->height = height;
            back->pixels.assign(static_cast<size_t>(width) * height, 0);
            s->backBuffer = back;
            Track(back);
        }
        g_primary = s;
    }
    *out = s;
    return DD_OK;
}

HRESULT IDirectDraw::CreatePalette(DWORD flags, PALETTEENTRY* entries, IDirectDrawPalette** out,
                                   void*) {
    if (!out || !entries || !(flags & DDPCAPS_8BIT)) return DDERR_INVALIDPARAMS;
    auto* p = new (std::nothrow) IDirectDrawPalette();
    if (!p) return DDERR_OUTOFMEMORY;
    std::memcpy(p->entries, entries, sizeof p->entries);
    *out = p;
    return DD_OK;
}

DWORD IDirectDraw::Release() {
    delete this;
    return 0;
}

HRESULT IDirectDrawPalette::SetEntries(DWORD, DWORD start, DWORD count, PALETTEENTRY* source) {
    if (!source || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
    std::memcpy(entries + start, source, count * sizeof(PALETTEENTRY));
    // A hardware palette change shows at once, without a flip.
    if (owner && owner == g_primary) PresentFront();
    return DD_OK;
}

HRESULT IDirectDrawPalette::GetEntries(DWORD, DWORD start, DWORD count, PALETTEENTRY* out) const {
    if (!out || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
    std::memcpy(out, entries + start, count * sizeof(PALETTEENTRY));
    return DD_OK;
}

DWORD IDirectDrawPalette::Release() {
    if (owner) owner->palette = nullptr;
    delete this;
    return 0;
}

HRESULT IDirectDrawSurface::BltFast(DWORD x, DWORD y, IDirectDrawSurface* source, RECT* sourceRect,
                                    DWORD flags) {
    if (!source) return DDERR_INVALIDPARAMS;
    if (lost || source->lost) return DDERR_SURFACELOST;
    RECT sr = sourceRect ? *sourceRect : RECT{0, 0, source->width, source->height};
    if (!ValidRect(sr, source->width, source->height)) return DDERR_INVALIDRECT;
    // Unclipped: a block that does not fit the destination draws nothing.
    const long long w = sr.right - sr.left, h = sr.bottom - sr.top;
    if (static_cast<long long>(x) + w > width || static_cast<long long>(y) + h > height)
        return DDERR_INVALIDRECT;
    const bool keyed = (flags & DDBLTFAST_SRCCOLORKEY) && source->hasColorKey;
    CopyBlock(this, static_cast<int>(x), static_cast<int>(y), source, sr, keyed);
    return DD_OK;
}

HRESULT IDirectDrawSurface::Blt(RECT* destRect, IDirectDrawSurface* source, RECT* sourceRect,
                                DWORD flags, DDBLTFX* fx) {
    if (lost) return DDERR_SURFACELOST;
    RECT dr = destRect ? *destRect : RECT{0, 0, width, height};
    if (flags & DDBLT_COLORFILL) {
        if (!fx || fx->dwSize != sizeof(DDBLTFX)) return DDERR_INVALIDPARAMS;
        if (dr.left >= dr.right || dr.top >= dr.bottom) return DD_OK;
        if (!ValidRect(dr, width, height)) return DDERR_INVALIDRECT;
        const BYTE colour = static_cast<BYTE>(fx->dwFillColor);
        if (Skipping()) return DD_OK;
        for (int row = dr.top; row < dr.bottom; ++row)
            std::memset(&pixels[static_cast<size_t>(row) * width + dr.left], colour,
                        static_cast<size_t>(dr.right - dr.left));
        return DD_OK;
    }
    if (!source) return DDERR_INVALIDPARAMS;
    if (source->lost) return DDERR_SURFACELOST;
    RECT sr = sourceRect ? *sourceRect : RECT{0, 0, source->width, source->height};
    // An empty or inverted rectangle draws nothing.
    if (dr.left >= dr.right || dr.top >= dr.bottom || sr.left >= sr.right || sr.top >= sr.bottom)
        return DD_OK;
    if (!ValidRect(dr, width, height) || !ValidRect(sr, source->width, source->height))
        return DDERR_INVALIDRECT;
    const bool keyed = (flags & DDBLT_KEYSRC) && source->hasColorKey;
    const int dw = dr.right - dr.left, dh = dr.bottom - dr.top;
    const int sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    if (dw == sw && dh == sh) {
        CopyBlock(this, dr.left, dr.top, source, sr, keyed);
        return DD_OK;
    }
    if (Skipping()) return DD_OK;
    // Stretch by nearest source pixel, as the blitter's point sampling does.
    for (int row = 0; row < dh; ++row) {
        const int syy = sr.top + static_cast<int>(static_cast<long long>(row) * sh / dh);
        const BYTE* s = &source->pixels[static_cast<size_t>(syy) * source->width];
        BYTE* d = &pixels[static_cast<size_t>(dr.top + row) * width + dr.left];
        for (int col = 0; col < dw; ++col) {
            const BYTE v = s[sr.left + static_cast<int>(static_cast<long long>(col) * sw / dw)];
            if (!keyed || v != source->colorKey) d[col] = v;
        }
    }
    return DD_OK;
}

HRESULT IDirectDrawSurface::Flip(IDirectDrawSurface*, DWORD flags) {
    if (!primary || !backBuffer) return DDERR_GENERIC;
    if (const FlipAside aside = ActiveFlipAside()) {
        aside();
        return DD_OK;
    }
    // A lost display still paces the game, so a frame loop never spins.
    if (lost || backBuffer->lost) {
        CompleteFlip(flags & DDFLIP_WAIT);
        return DDERR_SURFACELOST;
    }
    pixels.swap(backBuffer->pixels);
    PresentFront();
    CompleteFlip(flags & DDFLIP_WAIT);
    return DD_OK;
}

HRESULT IDirectDrawSurface::Lock(RECT* rect, DDSURFACEDESC* desc, DWORD, void*) {
    if (!desc || rect || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    if (lost) return DDERR_SURFACELOST;
    if (locked) return DDERR_SURFACEBUSY;
    locked = true;
    desc->dwWidth = static_cast<DWORD>(width);
    desc->dwHeight = static_cast<DWORD>(height);
    desc->lPitch = width;
    desc->lpSurface = pixels.data();
    return DD_OK;
}

HRESULT IDirectDrawSurface::Unlock(void*) {
    if (!locked) return DDERR_GENERIC;
    locked = false;
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetColorKey(DWORD flags, DDCOLORKEY* key) {
    if (!(flags & DDCKEY_SRCBLT)) return DDERR_INVALIDPARAMS;
    if (!key) {
        hasColorKey = false;
        return DD_OK;
    }
    hasColorKey = true;
    colorKey = static_cast<BYTE>(key->dwColorSpaceLowValue);
    return DD_OK;
}

HRESULT IDirectDrawSurface::SetPalette(IDirectDrawPalette* p) {
    if (!primary) return DDERR_GENERIC;
    if (palette) palette->owner = nullptr;
    palette = p;
    if (p) p->owner = this;
    return DD_OK;
}

HRESULT IDirectDrawSurface::GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** out) {
    if (!caps || !out) return DDERR_INVALIDPARAMS;
    if (!(caps->dwCaps & DDSCAPS_BACKBUFFER) || !backBuffer) return DDERR_NOTFOUND;
    *out = backBuffer;
    return DD_OK;
}

HRESULT IDirectDrawSurface::IsLost() { return lost ? DDERR_SURFACELOST : DD_OK; }

// Pixels of a lost surface are undefined afterwards; the game redraws or reloads them.
HRESULT IDirectDrawSurface::Restore() {
    lost = false;
    if (backBuffer) backBuffer->lost = false;
    return DD_OK;
}

DWORD IDirectDrawSurface::Release() {
    if (backBuffer) {
        Untrack(backBuffer);
        delete backBuffer;
        backBuffer = nullptr;
    }
    if (palette) palette->owner = nullptr;
    if (g_primary == this) g_primary = nullptr;
    Untrack(this);
    delete this;
    return 0;
}
