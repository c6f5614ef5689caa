// The display: set-up, scene bitmaps into the palette and the sprite surface, restore
// after the surfaces were lost, and release.
#include "media/display.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "media/game_window.h"
#include "media/scene_state.h"
#include "platform/services/files.h"

LPDIRECTDRAW lpDD = nullptr;
LPDIRECTDRAWSURFACE lpFRONTSURFACE = nullptr;
LPDIRECTDRAWSURFACE lpBACKSURFACE = nullptr;
LPDIRECTDRAWPALETTE lpPALETTE = nullptr;
LPDIRECTDRAWSURFACE lpSPRITESURFACE = nullptr;

namespace {

PALETTEENTRY g_startPalette[256] = {};

// The sprite surface holds the scene's picture sheet: its top 630 rows, 640 columns.
constexpr DWORD kSpriteRows = 630;
constexpr DWORD kSpriteColumns = 640;

int Fail(const char* text) {
    MessageBox(hWnd, text, "error", MB_OK);
    return 0;
}

std::int32_t ReadLe32(const BYTE* p) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

}  // namespace

int InitDisplay() {
    if (DirectDrawCreate(nullptr, &lpDD, nullptr) != DD_OK) return Fail("DirectDrawCreate();");
    if (lpDD->SetCooperativeLevel(hWnd, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX) !=
        DD_OK)
        return Fail("lpDD->SetCooperativeLevel();");
    if (lpDD->SetDisplayMode(640, 480, 8) != DD_OK) return Fail("lpDD->SetDisplayMode();");

    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(DDSURFACEDESC);
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    desc.dwBackBufferCount = 1;
    if (lpDD->CreateSurface(&desc, &lpFRONTSURFACE, nullptr) != DD_OK)
        return Fail("lpDD->CreateSurface();");

    DDSCAPS caps = {DDSCAPS_BACKBUFFER};
    if (lpFRONTSURFACE->GetAttachedSurface(&caps, &lpBACKSURFACE) != DD_OK)
        return Fail("lpFRONTSURFACE->GetAttachedSurface();");
    if (lpDD->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, g_startPalette, &lpPALETTE, nullptr) !=
        DD_OK)
        return Fail("lpDD->CreatePalette();");
    if (lpFRONTSURFACE->SetPalette(lpPALETTE) != DD_OK)
        return Fail("lpFRONTSURFACE->SetPalette();");

    desc = {};
    desc.dwSize = sizeof(DDSURFACEDESC);
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    desc.dwWidth = kSpriteColumns;
    desc.dwHeight = kSpriteRows;
    if (lpDD->CreateSurface(&desc, &lpSPRITESURFACE, nullptr) != DD_OK)
        return Fail("lpDD->CreateSurface();");
    SetCursor(nullptr);
    return 1;
}

int LoadSceneBitmap(const char* path, unsigned int colorKey) {
    std::FILE* file = OpenGamePath(path, "rb");
    if (!file) return 0;
    BYTE fileHeader[14];
    BYTE infoHeader[40];
    BYTE table[1024];
    if (std::fread(fileHeader, 1, 14, file) != 14 || fileHeader[0] != 'B' || fileHeader[1] != 'M' ||
        std::fread(infoHeader, 1, 40, file) != 40 ||
        (infoHeader[14] | (infoHeader[15] << 8)) != 8 || std::fread(table, 1, 1024, file) != 1024) {
        std::fclose(file);
        return 0;
    }
    const std::int32_t width = ReadLe32(infoHeader + 4);
    const std::int32_t height = ReadLe32(infoHeader + 8);
    // Dimensions that cannot be a picture are refused before the palette changes: none
    // at all, or width x height beyond a 32-bit signed count (the pixel count that the
    // original allocated and read would overflow). Any other size loads: only the rows
    // and columns that the surface can hold are read.
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > 0x7FFFFFFFLL ||
        !lpSPRITESURFACE) {
        std::fclose(file);
        return 0;
    }
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i)
        entries[i] = PALETTEENTRY{table[4 * i + 2], table[4 * i + 1], table[4 * i], 0};
    if (lpPALETTE) lpPALETTE->SetEntries(0, 0, 256, entries);

    // The top rows that fit the surface are the last ones in the file; of each, the left
    // columns that fit are read and the rest skipped, so a wide file costs no memory.
    const long long rowsKept = height < static_cast<long long>(kSpriteRows) ? height : kSpriteRows;
    const long long columns =
        width < static_cast<long long>(kSpriteColumns) ? width : kSpriteColumns;
    const long long skipped = static_cast<long long>(height) - rowsKept;
    const size_t size = static_cast<size_t>(columns * rowsKept);
    BYTE* bits = new (std::nothrow) BYTE[size];
    if (!bits) {
        std::fclose(file);
        return 0;
    }
    size_t got = 0;
    if (std::fseek(file, static_cast<long>(skipped * width), SEEK_CUR) == 0) {
        for (long long row = 0; row < rowsKept; ++row) {
            const size_t n = std::fread(bits + got, 1, static_cast<size_t>(columns), file);
            got += n;
            if (n < static_cast<size_t>(columns)) break;
            if (width > columns &&
                std::fseek(file, static_cast<long>(width - columns), SEEK_CUR) != 0)
                break;
        }
    }
    // Bytes missing from a short file read as 0.
    if (got < size) std::memset(bits + got, 0, size - got);
    if (std::ferror(file)) {
        delete[] bits;
        std::fclose(file);
        return 0;
    }
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(DDSURFACEDESC);
    if (lpSPRITESURFACE->Lock(nullptr, &desc, 0, nullptr) != DD_OK) {
        delete[] bits;
        std::fclose(file);
        return 0;
    }
    const long long rowBytes = columns < desc.lPitch ? columns : desc.lPitch;
    BYTE* dest = static_cast<BYTE*>(desc.lpSurface);
    // The file holds the bottom row first; the surface wants the top row first.
    for (long long row = 0; row < rowsKept; ++row)
        std::memcpy(dest + row * desc.lPitch, bits + (rowsKept - 1 - row) * columns,
                    static_cast<size_t>(rowBytes));
    lpSPRITESURFACE->Unlock(nullptr);
    delete[] bits;
    std::fclose(file);
    DDCOLORKEY key = {colorKey & 0xFF, colorKey & 0xFF};
    lpSPRITESURFACE->SetColorKey(DDCKEY_SRCBLT, &key);
    return 1;
}

void RestoreDisplay() {
    if (lpSPRITESURFACE && lpSPRITESURFACE->IsLost() != DD_OK) {
        lpSPRITESURFACE->Restore();
        if (SceneState >= STATE_TITLE_ENTER && SceneState <= STATE_TITLE_LEAVE)
            LoadSceneBitmap("bmp\\title.bmp", 255);
        else if (SceneState >= STATE_MODE_ENTER && SceneState <= STATE_MODE_LEAVE)
            LoadSceneBitmap("bmp\\gamemode.bmp", 106);
        else if (SceneState >= STATE_PLAY_ENTER && SceneState <= STATE_PLAY_LEAVE)
            LoadSceneBitmap("bmp\\game.bmp", 255);
    }
    if (lpFRONTSURFACE && lpFRONTSURFACE->IsLost() != DD_OK) lpFRONTSURFACE->Restore();
}

void ReleaseDisplay() {
    if (lpDD) lpDD->RestoreDisplayMode();
    if (lpSPRITESURFACE) lpSPRITESURFACE->Release();
    if (lpPALETTE) lpPALETTE->Release();
    if (lpFRONTSURFACE) lpFRONTSURFACE->Release();
    if (lpDD) lpDD->Release();
    lpSPRITESURFACE = nullptr;
    lpPALETTE = nullptr;
    lpFRONTSURFACE = nullptr;
    lpBACKSURFACE = nullptr;
    lpDD = nullptr;
}

HRESULT ClearBackBuffer(BYTE index) {
    if (!lpBACKSURFACE) return DDERR_GENERIC;
    DDBLTFX fx = {};
    fx.dwSize = sizeof(DDBLTFX);
    fx.dwFillColor = index;
    return lpBACKSURFACE->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

HRESULT PresentFrame() {
    if (!lpFRONTSURFACE) return DDERR_GENERIC;
    return lpFRONTSURFACE->Flip(nullptr, DDFLIP_WAIT);
}
