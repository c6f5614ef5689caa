// zumble-ddraw.exe: the flip of the system's primary surface, with the port's pacing and
// flip hooks around it. DirectDrawCreate is wrapped at link time (--wrap); the DirectDraw
// object it hands the game has its own method table in which CreateSurface gives the
// primary surface a table whose Flip completes the frame. The game calls the very
// interfaces Windows has; only what follows a flip is added.
#define CINTERFACE
#include "platform/win32/win32_api.h"

#include <ddraw.h>

#include "platform/ddraw_real/ddraw_real_hooks.h"
#include "platform/win32/win32_pacing.h"

extern "C" HRESULT WINAPI __real_DirectDrawCreate(GUID* guid, LPDIRECTDRAW* out, IUnknown* outer);
extern "C" HRESULT WINAPI __wrap_DirectDrawCreate(GUID* guid, LPDIRECTDRAW* out, IUnknown* outer);

namespace {

IDirectDrawVtbl g_drawTable;
IDirectDrawSurfaceVtbl g_primaryTable;
HRESULT(STDMETHODCALLTYPE* g_realCreateSurface)
(IDirectDraw*, LPDDSURFACEDESC, LPDIRECTDRAWSURFACE*, IUnknown*);
HRESULT(STDMETHODCALLTYPE* g_realSetCooperativeLevel)(IDirectDraw*, HWND, DWORD);
HRESULT(STDMETHODCALLTYPE* g_realFlip)(IDirectDrawSurface*, LPDIRECTDRAWSURFACE, DWORD);

HRESULT STDMETHODCALLTYPE PacedFlip(IDirectDrawSurface* self, LPDIRECTDRAWSURFACE target,
                                    DWORD flags) {
    const HRESULT result = g_realFlip(self, target, flags);
    // Some drivers (and Wine's GDI one) return at once instead of waiting for the
    // display: the frame then waits for its 1/60 s slot here.
    if (result == DD_OK) {
        if (flags & DDFLIP_WAIT) Win32WaitForFrame();
        CompleteRealFlip();
    }
    return result;
}

HRESULT STDMETHODCALLTYPE CreateSurfaceHooked(IDirectDraw* self, LPDDSURFACEDESC desc,
                                              LPDIRECTDRAWSURFACE* out, IUnknown* outer) {
    const HRESULT result = g_realCreateSurface(self, desc, out, outer);
    if (result == DD_OK && desc && (desc->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) && out && *out) {
        IDirectDrawSurface* primary = *out;
        if (!g_realFlip) {
            g_primaryTable = *primary->lpVtbl;
            g_realFlip = g_primaryTable.Flip;
            g_primaryTable.Flip = PacedFlip;
        }
        primary->lpVtbl = &g_primaryTable;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE SetCooperativeLevelHooked(IDirectDraw* self, HWND window, DWORD flags) {
    SetRealGameWindow(window);
    return g_realSetCooperativeLevel(self, window, flags);
}

}  // namespace

extern "C" HRESULT WINAPI __wrap_DirectDrawCreate(GUID* guid, LPDIRECTDRAW* out, IUnknown* outer) {
    const HRESULT result = __real_DirectDrawCreate(guid, out, outer);
    if (result != DD_OK || !out || !*out) return result;
    IDirectDraw* draw = *out;
    if (!g_realCreateSurface) {
        g_drawTable = *draw->lpVtbl;
        g_realCreateSurface = g_drawTable.CreateSurface;
        g_realSetCooperativeLevel = g_drawTable.SetCooperativeLevel;
        g_drawTable.CreateSurface = CreateSurfaceHooked;
        g_drawTable.SetCooperativeLevel = SetCooperativeLevelHooked;
    }
    draw->lpVtbl = &g_drawTable;
    return result;
}
