// The tester's files on Windows: the UTF-8 paths of the command line become the system's
// wide ones, so a folder named in any language works (the ANSI calls would turn what the
// code page lacks into '?').
#include "platform/win32/win32_api.h"

#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/services/tester_file.h"
#include "platform/win32/win32_utf8.h"

namespace {

std::wstring Wide(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out.data(), n);
    return out;
}

}  // namespace

std::string AbsoluteTesterPath(const std::string& path) {
    const std::wstring wide = Wide(path.c_str());
    if (wide.empty()) return path;
    const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return path;
    full.resize(got);
    const std::string out = Utf8FromWide(full);
    return out.empty() ? path : out;
}

bool ReplaceTesterFile(const char* from, const char* to) {
    const std::wstring a = Wide(from), b = Wide(to);
    return !a.empty() && !b.empty() && MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::FILE* OpenTesterFile(const char* path, const char* mode) {
    const std::wstring wide = Wide(path);
    if (wide.empty()) {
        errno = EINVAL;
        return nullptr;
    }
    wchar_t wideMode[8] = {};
    for (int i = 0; i < 7 && mode[i]; ++i) wideMode[i] = static_cast<wchar_t>(mode[i]);
    return _wfopen(wide.c_str(), wideMode);
}

bool ReadTesterFile(const std::string& path, std::string* text) {
    const std::wstring wide = Wide(path.c_str());
    struct _stat64 info {};
    if (wide.empty() || _wstat64(wide.c_str(), &info) != 0 || !(info.st_mode & _S_IFREG))
        return false;
    std::FILE* file = _wfopen(wide.c_str(), L"rb");
    if (file == nullptr) return false;
    return ReadAndCloseTesterFile(file, text);
}

std::FILE* OpenTesterFileToRead(const char* path, std::string* why) {
    const std::wstring wide = Wide(path);
    if (wide.empty()) {
        *why = "the name is not UTF-8";
        return nullptr;
    }
    struct _stat64 info {};
    if (_wstat64(wide.c_str(), &info) == 0 && !(info.st_mode & _S_IFREG)) {
        *why = "not a regular file";
        return nullptr;
    }
    std::FILE* file = _wfopen(wide.c_str(), L"rb");
    if (!file) {
        *why = std::string("cannot open it: ") + std::strerror(errno);
        return nullptr;
    }
    // A device (CON, NUL, a pipe) opens like a file: only a file on a disk is one.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)))) != FILE_TYPE_DISK) {
        *why = "not a regular file";
        std::fclose(file);
        return nullptr;
    }
    return file;
}
