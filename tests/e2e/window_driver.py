#!/usr/bin/env python3
"""A quick player at a real window: plays ten-fly rounds with the real mouse and keys
(XTest), reading where the oldest fly is from the game's trace, and keeps each round's
replay with the time the round showed.

  window_driver.py WINDOW_ID SCALE TRACE ROUNDS OUT_DIR [end]

The game must be on the title. For each round it goes to mode select (ten flies), starts,
hurries the flies with Enter, swats the oldest one until the board shows, waits for the
board to take clicks and leaves it; then copies replays/last.zrp to OUT_DIR/round-N.zrp
and writes 'N CLOCK' lines to OUT_DIR/times.txt. With 'end' as the last argument the
last round is not left: the board stays, for the caller to close the game on it.
Exits 1 when a round does not come to its end within a minute."""
import ctypes
import ctypes.util
import os
import shutil
import sys
import time

x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
xtst = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst") or "libXtst.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                      ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                      ctypes.POINTER(ctypes.c_ulong)]
x11.XKeysymToKeycode.restype = ctypes.c_ubyte
x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XFlush.argtypes = [ctypes.c_void_p]
xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]

window, scale, trace, rounds, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), sys.argv[5]
stay_on_board = len(sys.argv) > 6 and sys.argv[6] == "end"
display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open the display")
root = x11.XDefaultRootWindow(display)
ox, oy, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
x11.XTranslateCoordinates(display, window, root, 0, 0, ctypes.byref(ox), ctypes.byref(oy), ctypes.byref(child))
RETURN = x11.XKeysymToKeycode(display, 0xFF0D)


def move(x, y):
    x = min(max(x, 0), 639)
    y = min(max(y, 0), 479)
    xtst.XTestFakeMotionEvent(display, -1, ox.value + x * scale + scale // 2, oy.value + y * scale + scale // 2, 0)
    x11.XFlush(display)


def click(x, y, pause=0.0):
    move(x, y)
    time.sleep(0.01)
    xtst.XTestFakeButtonEvent(display, 1, 1, 0)
    x11.XFlush(display)
    time.sleep(0.01)
    xtst.XTestFakeButtonEvent(display, 1, 0, 0)
    x11.XFlush(display)
    time.sleep(pause)


def key_return():
    xtst.XTestFakeKeyEvent(display, RETURN, 1, 0)
    xtst.XTestFakeKeyEvent(display, RETURN, 0, 0)
    x11.XFlush(display)


def last_line():
    try:
        with open(trace, "rb") as f:
            f.seek(0, os.SEEK_END)
            f.seek(max(0, f.tell() - 2048))
            lines = f.read().decode("ascii", "replace").splitlines()
    except OSError:
        return {}
    for line in reversed(lines[1:] if len(lines) > 1 else lines):
        fields = dict(p.split("=", 1) for p in line.split() if "=" in p)
        if "scene" in fields and "phase" in fields:
            return fields
    return {}


def wait_for(test, seconds):
    end = time.time() + seconds
    while time.time() < end:
        fields = last_line()
        if fields and test(fields):
            return fields
        time.sleep(0.02)
    return None


if not wait_for(lambda f: f["scene"] in ("2", "5"), 30):
    sys.exit("the title never showed")
if last_line()["scene"] == "2":
    click(300, 300)  # the title's start entry
    if not wait_for(lambda f: f["scene"] == "5", 10):
        sys.exit("mode select never showed")
    time.sleep(0.3)
    click(120, 80, 0.3)  # ten flies
with open(os.path.join(out, "times.txt"), "a") as times:
    for n in range(1, rounds + 1):
        if not wait_for(lambda f: f["scene"] == "5", 10):
            sys.exit(f"round {n}: not at mode select")
        click(320, 320)  # start
        if not wait_for(lambda f: f["scene"] == "8", 10):
            sys.exit(f"round {n}: the round did not start")
        for _ in range(3):
            key_return()  # flies come sooner
        end = time.time() + 60
        while time.time() < end:
            f = last_line()
            if f.get("scene") == "8" and int(f.get("phase", "0")) >= 2:
                break
            fly = f.get("fly")
            if fly:
                x, y = (int(v) for v in fly.split(","))
                click(x + 1, y + 1)
            time.sleep(0.03)
        else:
            sys.exit(f"round {n}: the flies were not all swatted within a minute")
        f = wait_for(lambda f: f["scene"] == "8" and f["phase"] == "3", 10)
        if not f:
            sys.exit(f"round {n}: the board did not take clicks")
        if stay_on_board and n == rounds:
            times.write(f"{n} {f['clock']}\n")
            break
        click(320, 240)  # leave the board
        if not wait_for(lambda f: f["scene"] == "5", 10):
            sys.exit(f"round {n}: the board was not left")
        time.sleep(0.1)  # the round's replay is saved as mode select begins
        shutil.copy("replays/last.zrp", os.path.join(out, f"round-{n}.zrp"))
        times.write(f"{n} {f['clock']}\n")
        times.flush()
