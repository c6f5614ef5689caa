// The game's files on Windows: the data under bmp\ and wave\, and the player's files
// (best times, error report) beside them, or in %LOCALAPPDATA%\Zumble where the data's
// folder may not be written (under Program Files). Saves reach the disk whole.
#include "platform/win32/win32_api.h"

#include <io.h>
#include <shlobj.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/services/data_report.h"
#include "platform/services/files.h"
#include "platform/win32/win32_utf8.h"

namespace {

// Plain arrays, not strings: the error log is written by a static destructor that runs
// after every other static of the program is gone.
wchar_t g_dataFolder[MAX_PATH * 4];    // L"" = the current folder
wchar_t g_playerFolder[MAX_PATH * 4];  // L"" = the current folder
bool g_noSaving = false;

bool IsDataPath(const char* path) {
    return _strnicmp(path, "bmp\\", 4) == 0 || _strnicmp(path, "wave\\", 5) == 0 ||
           _strnicmp(path, "bmp/", 4) == 0 || _strnicmp(path, "wave/", 5) == 0;
}

bool Absolute(const char* path) {
    return path[0] == '\\' || path[0] == '/' || (path[0] && path[1] == ':');
}

// The wide path to hand to the system, or false when the file may not be touched.
bool Resolve(const char* path, std::wstring* out) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
    if (n <= 0) {
        errno = EINVAL;
        return false;
    }
    std::wstring p(static_cast<size_t>(n - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path, -1, p.data(), n);
    for (wchar_t& c : p)
        if (c == L'/') c = L'\\';
    if (!Absolute(path)) {
        const bool data = IsDataPath(path);
        if (!data && g_noSaving) {
            errno = EACCES;
            return false;
        }
        const wchar_t* folder = data ? g_dataFolder : g_playerFolder;
        if (*folder) p = std::wstring(folder) + L"\\" + p;
    }
    *out = std::move(p);
    return true;
}

bool Keep(wchar_t* slot, const std::wstring& value) {
    if (value.size() >= MAX_PATH * 4) return false;
    std::wmemcpy(slot, value.c_str(), value.size() + 1);
    return true;
}

bool IsFolder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool HoldsData(const std::wstring& dir) {
    return IsFolder(dir + L"\\bmp") && IsFolder(dir + L"\\wave");
}

// True when a new file can be made in the folder (one that deletes itself on close).
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

// %LOCALAPPDATA%\Zumble, made when missing; empty when it cannot be had.
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

// The folder next to or above the executable that holds bmp\ and wave\; empty for none.
std::wstring DataBesideExecutable() {
    wchar_t exe[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 4);
    std::wstring dir(exe, n > 0 && n < MAX_PATH * 4 ? n : 0);
    for (size_t cut = dir.find_last_of(L"\\/"); cut != std::wstring::npos && cut > 0;
         cut = dir.find_last_of(L"\\/")) {
        dir.resize(cut);
        if (HoldsData(dir)) return dir;
    }
    return std::wstring();
}

}  // namespace

std::FILE* OpenGamePath(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    std::wstring p;
    if (!Resolve(path, &p)) return nullptr;
    std::FILE* file = nullptr;
    // A folder is not a file (the C runtime would refuse it too, less plainly).
    if (IsFolder(p)) {
        errno = EISDIR;
    } else {
        wchar_t wideMode[8] = {};
        for (int i = 0; i < 7 && mode[i]; ++i) wideMode[i] = static_cast<wchar_t>(mode[i]);
        file = _wfopen(p.c_str(), wideMode);
    }
    if (!file && IsDataPath(path)) {
        const int why = errno;
        SayDataFileUnreadable(Utf8FromWide(p).c_str(), std::strerror(why));
        errno = why;
    }
    return file;
}

bool ShownGamePath(const char* path, std::string* out) {
    std::wstring p;
    if (!path || !Resolve(path, &p)) return false;
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(p.c_str(), MAX_PATH * 4, full, nullptr);
    *out = Utf8FromWide(n > 0 && n < MAX_PATH * 4 ? std::wstring(full, n) : p);
    return true;
}

int RenameGamePath(const char* from, const char* to) {
    std::wstring a, b;
    if (!from || !to || !Resolve(from, &a) || !Resolve(to, &b)) return -1;
    // One step that replaces the old file, and returns only once the move is on disk. A
    // virus scanner or an indexer may hold the old file open for a moment just then: try
    // again a few times before the new table stays in memory only.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return 0;
        const DWORD why = GetLastError();
        if (why != ERROR_SHARING_VIOLATION && why != ERROR_LOCK_VIOLATION) break;
        Sleep(20);
    }
    return -1;
}

int RemoveGamePath(const char* path) {
    std::wstring p;
    if (!path || !Resolve(path, &p)) return -1;
    return DeleteFileW(p.c_str()) ? 0 : -1;
}

int MakeGameFolder(const char* path) {
    std::wstring p;
    if (!path || !Resolve(path, &p)) return -1;
    if (CreateDirectoryW(p.c_str(), nullptr)) return 0;
    const DWORD attributes = GetFileAttributesW(p.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0
                                                                                            : -1;
}

void ForbidSaving() { g_noSaving = true; }

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
}

void FindGameData() {
    std::wstring data = CurrentFolder();
    if (!HoldsData(data)) {
        data = DataBesideExecutable();
        if (data.empty()) return;  // the game will say which files it misses
        SetCurrentDirectoryW(data.c_str());
        std::fprintf(stderr, "zumble: no bmp\\ and wave\\ here; using the game data in %s\n",
                     Utf8FromWide(data).c_str());
    }
    // A replay being watched or verified touches none of the player's files.
    if (g_noSaving || Writable(data)) return;
    // Installed where the player may not write (Program Files): the best times and the
    // error report go to the player's own folder, the pictures and sounds stay.
    const std::wstring mine = PlayerFolder();
    if (mine.empty() || !Keep(g_playerFolder, mine) || !Keep(g_dataFolder, data)) {
        g_playerFolder[0] = L'\0';
        g_noSaving = true;
        std::fprintf(stderr,
                     "zumble: %s is read-only and %%LOCALAPPDATA%%\\Zumble cannot be made; "
                     "playing on without saving hiscoa.sav and error.txt\n",
                     Utf8FromWide(data).c_str());
        return;
    }
    std::fprintf(stderr, "zumble: %s is read-only; hiscoa.sav and error.txt go to %s\n",
                 Utf8FromWide(data).c_str(), Utf8FromWide(mine).c_str());
}
