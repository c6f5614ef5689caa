// The game's files on Windows: data paths, the folder the game writes to, and saves that
// reach the disk whole.
#include "platform/files.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <io.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

// Where bmp\ and wave\ are when the game writes somewhere else; empty when the current
// folder holds them.
std::wstring g_dataDir;

std::wstring Widen(const char* text) {
    std::wstring out;
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0) return out;
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool HoldsData(const std::wstring& dir) { return IsFolder(dir + L"\\bmp") && IsFolder(dir + L"\\wave"); }

// True when a new file can be made in the folder (a file that deletes itself on close).
bool Writable(const std::wstring& dir) {
    const std::wstring probe = dir + L"\\zumble-write-check.tmp";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
}

std::wstring CurrentFolder() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, buffer);
    return n > 0 && n < MAX_PATH * 4 ? std::wstring(buffer, n) : std::wstring(L".");
}

std::string Narrow(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// %LOCALAPPDATA%\Zumble, made when missing; empty when there is none.
std::wstring PlayerFolder() {
    wchar_t* base = nullptr;
    std::wstring dir;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &base) == S_OK && base) dir = base;
    CoTaskMemFree(base);
    if (dir.empty()) return dir;
    dir += L"\\Zumble";
    CreateDirectoryW(dir.c_str(), nullptr);
    return IsFolder(dir) ? dir : std::wstring();
}

bool IsDataPath(const char* path) {
    return _strnicmp(path, "bmp\\", 4) == 0 || _strnicmp(path, "wave\\", 5) == 0;
}

}  // namespace

std::FILE* OpenGamePath(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    std::wstring full = Widen(path);
    for (wchar_t& c : full)
        if (c == L'/') c = L'\\';
    if (!g_dataDir.empty() && IsDataPath(path)) full = g_dataDir + L"\\" + full;
    // A folder is not a file (the C runtime would refuse it too, less plainly).
    if (IsFolder(full)) return nullptr;
    return _wfopen(full.c_str(), Widen(mode).c_str());
}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
}

bool RenameOver(const char* from, const char* to) {
    // One step that replaces the old file, and returns only once the move is on disk.
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void FindGameData() {
    std::wstring data = CurrentFolder();
    if (!HoldsData(data)) {
        data.clear();
        wchar_t exe[MAX_PATH * 4];
        const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 4);
        std::wstring dir(exe, n > 0 && n < MAX_PATH * 4 ? n : 0);
        for (size_t cut = dir.find_last_of(L"\\/"); cut != std::wstring::npos && cut > 0;
             cut = dir.find_last_of(L"\\/")) {
            dir.resize(cut);
            if (HoldsData(dir)) {
                data = dir;
                break;
            }
        }
        if (data.empty()) return;  // the game will say which files it misses
        SetCurrentDirectoryW(data.c_str());
        std::fprintf(stderr, "zumble: no bmp\\ and wave\\ here; using the game data in %s\n", Narrow(data).c_str());
    }
    if (Writable(data)) return;
    // Installed where the player may not write (Program Files): the best times and the
    // error report go to the player's own folder, the pictures and sounds stay.
    const std::wstring mine = PlayerFolder();
    if (mine.empty() || !SetCurrentDirectoryW(mine.c_str())) return;
    g_dataDir = data;
    std::fprintf(stderr, "zumble: %s is read-only; hiscoa.sav and error.txt go to %s\n", Narrow(data).c_str(),
                 Narrow(mine).c_str());
}
