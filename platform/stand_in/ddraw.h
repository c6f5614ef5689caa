#pragma once
// The DirectDraw interfaces the game uses: an 8-bit primary surface with one back
// buffer, off-screen surfaces, a 256-entry palette, keyed blits, colour fill and
// stretching, flip with wait, lock and the lost-surface protocol. Pixels live in plain
// 8-bit buffers; the backend shows the front buffer through the palette.

#include "platform/stand_in/win32.h"

#include <cstdint>
#include <vector>

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DDERR_INVALIDRECT = static_cast<HRESULT>(0x88760096u);
constexpr HRESULT DDERR_INVALIDMODE = static_cast<HRESULT>(0x88760078u);
constexpr HRESULT DDERR_SURFACELOST = static_cast<HRESULT>(0x887601C2u);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DDERR_NOTFOUND = static_cast<HRESULT>(0x887600FFu);
constexpr HRESULT DDERR_SURFACEBUSY = static_cast<HRESULT>(0x887601B2u);

constexpr DWORD DDSCL_FULLSCREEN = 0x01;
constexpr DWORD DDSCL_ALLOWMODEX = 0x40;
constexpr DWORD DDSCL_EXCLUSIVE = 0x10;

constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;

constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;

constexpr DWORD DDPCAPS_8BIT = 0x00000004;
constexpr DWORD DDPCAPS_ALLOW256 = 0x00000040;

constexpr DWORD DDCKEY_SRCBLT = 0x00000008;

constexpr DWORD DDBLTFAST_SRCCOLORKEY = 0x00000001;
constexpr DWORD DDBLTFAST_WAIT = 0x00000010;
constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_KEYSRC = 0x00008000;
constexpr DWORD DDBLT_WAIT = 0x01000000;
constexpr DWORD DDFLIP_WAIT = 0x00000001;

struct DDSCAPS {
    DWORD dwCaps;
};

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

struct DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    DWORD dwRGBBitCount;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};

struct IDirectDrawSurface;

// The structures the game hands over keep Windows' layout, so that sizeof gives the
// sizes DirectDraw expects in dwSize (on 64-bit Windows 120 and 128); the stand-in, like
// DirectDraw, refuses any other dwSize.
struct DDSURFACEDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwRefreshRate;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    void* lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS ddsCaps;
};

struct DDBLTFX {
    DWORD dwSize;
    DWORD dwDDFX;
    DWORD dwROP;
    DWORD dwDDROP;
    DWORD dwRotationAngle;
    DWORD dwZBufferOpCode;
    DWORD dwZBufferLow;
    DWORD dwZBufferHigh;
    DWORD dwZBufferBaseDest;
    DWORD dwZDestConstBitDepth;
    union {
        DWORD dwZDestConst;
        IDirectDrawSurface* lpDDSZBufferDest;
    };
    DWORD dwZSrcConstBitDepth;
    union {
        DWORD dwZSrcConst;
        IDirectDrawSurface* lpDDSZBufferSrc;
    };
    DWORD dwAlphaEdgeBlendBitDepth;
    DWORD dwAlphaEdgeBlend;
    DWORD dwReserved;
    DWORD dwAlphaDestConstBitDepth;
    union {
        DWORD dwAlphaDestConst;
        IDirectDrawSurface* lpDDSAlphaDest;
    };
    DWORD dwAlphaSrcConstBitDepth;
    union {
        DWORD dwAlphaSrcConst;
        IDirectDrawSurface* lpDDSAlphaSrc;
    };
    union {
        DWORD dwFillColor;
        IDirectDrawSurface* lpDDSPattern;
    };
    DDCOLORKEY ddckDestColorkey;
    DDCOLORKEY ddckSrcColorkey;
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

struct IDirectDrawPalette {
    PALETTEENTRY entries[256] = {};
    IDirectDrawSurface* owner = nullptr;  // the primary surface it is attached to

    // Shows at once: the front buffer is presented again with the new colours.
    HRESULT SetEntries(DWORD flags, DWORD start, DWORD count,
                       PALETTEENTRY* source);  // not const, as in Windows
    HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, PALETTEENTRY* out) const;
    DWORD Release();
};

struct IDirectDrawSurface {
    int width = 0;
    int height = 0;
    std::vector<BYTE> pixels;  // width * height bytes, pitch == width
    bool primary = false;
    bool lost = false;
    bool locked = false;
    bool hasColorKey = false;
    BYTE colorKey = 0;
    IDirectDrawSurface* backBuffer = nullptr;  // primary only
    IDirectDrawPalette* palette = nullptr;     // primary only

    HRESULT BltFast(DWORD x, DWORD y, IDirectDrawSurface* source, RECT* sourceRect, DWORD flags);
    HRESULT Blt(RECT* destRect, IDirectDrawSurface* source, RECT* sourceRect, DWORD flags,
                DDBLTFX* fx);
    HRESULT Flip(IDirectDrawSurface* target, DWORD flags);
    HRESULT Lock(RECT* rect, DDSURFACEDESC* desc, DWORD flags, void* event);
    HRESULT Unlock(void* pointer);
    HRESULT SetColorKey(DWORD flags, DDCOLORKEY* key);
    HRESULT SetPalette(IDirectDrawPalette* palette);
    HRESULT GetAttachedSurface(DDSCAPS* caps, IDirectDrawSurface** out);
    HRESULT IsLost();
    HRESULT Restore();
    DWORD Release();
};

struct IDirectDraw {
    HWND window = nullptr;
    DWORD cooperativeFlags = 0;
    bool modeSet = false;

    HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags);
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel);
    HRESULT RestoreDisplayMode();
    HRESULT CreateSurface(DDSURFACEDESC* desc, IDirectDrawSurface** out, void* outer);
    HRESULT CreatePalette(DWORD flags, PALETTEENTRY* entries, IDirectDrawPalette** out,
                          void* outer);
    DWORD Release();
};

using LPDIRECTDRAW = IDirectDraw*;
using LPDIRECTDRAWSURFACE = IDirectDrawSurface*;
using LPDIRECTDRAWPALETTE = IDirectDrawPalette*;

HRESULT DirectDrawCreate(void* guid, LPDIRECTDRAW* out, void* outer);

// Port additions, used by the backends and tests: marks every live surface lost, as
// when another program takes the display; the primary surface of the display.
void LoseAllSurfaces();
IDirectDrawSurface* PrimarySurface();
// For --verify: blits and fills check their arguments and give the same results, but
// move no pixel, and nothing is presented. The game's decisions never read the picture.
void SkipPixels(bool skip);
// Shows the primary surface again as it is (the replay viewer's overlay changed while a
// frame stands still).
void PresentFrontAgain();
