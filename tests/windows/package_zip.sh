#!/usr/bin/env bash
# The Windows package: dist's zip as make windows packs it holds both programs, the
# README and every file of bmp\ and wave\ unchanged, and the programs need no DLL that
# Windows does not have.
set -u
. "$(dirname "$0")/../e2e/common.bash" "$3" "$2"
BUILD_WINDOWS=$(realpath "$1")
OBJDUMP=$(command -v x86_64-w64-mingw32-objdump) || { echo "SKIP: no MinGW-w64 objdump"; exit 77; }

cpack --config "$BUILD_WINDOWS/CPackConfig.cmake" -B "$WORK/pkg" > cpack.log 2>&1
check "cpack packs the zip" test $? -eq 0
zip=$(ls "$WORK"/pkg/zumble-*-windows-x64.zip 2>/dev/null | head -1)
check "the zip is named zumble-VERSION-windows-x64.zip" test -n "$zip"
python3 -c "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall('x')" "$zip"
top=$(ls x 2>/dev/null)
check "one folder named as the zip" test -n "$zip" -a "$top" = "$(basename "$zip" .zip)"
for f in zumble.exe zumble-ddraw.exe README.txt; do check "the zip holds $f" test -s "x/$top/$f"; done
check "bmp\\ is the game's, file for file" diff -r "$SRC/bmp" "x/$top/bmp"
check "wave\\ is the game's, file for file" diff -r "$SRC/wave" "x/$top/wave"
# Windows' own DLLs only: no MinGW runtime, no SDL.
for exe in zumble.exe zumble-ddraw.exe; do
    dlls=$("$OBJDUMP" -p "x/$top/$exe" | sed -n 's/.*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
    extra=$(for d in $dlls; do case $d in KERNEL32.DLL|USER32.DLL|GDI32.DLL|WINMM.DLL|MSVCRT.DLL|OLE32.DLL|SHELL32.DLL|DDRAW.DLL|DSOUND.DLL|WS2_32.DLL|MSWSOCK.DLL) ;; *) echo "$d" ;; esac; done)
    # An empty list means no program to look at, not one that needs nothing.
    check "$exe needs only Windows' own DLLs (not: $extra)" test -n "$dlls" -a -z "$extra"
done
check "zumble-ddraw.exe links DirectDraw and DirectSound themselves" bash -c "'$OBJDUMP' -p 'x/$top/zumble-ddraw.exe' | grep -q 'DLL Name: DDRAW.dll' && '$OBJDUMP' -p 'x/$top/zumble-ddraw.exe' | grep -q 'DLL Name: DSOUND.dll'"
finish
