// The tester's files on POSIX systems: paths are bytes, taken as they are.
#include "platform/core/tester_file.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

std::string AbsoluteTesterPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

std::FILE* OpenTesterFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool ReadTesterFile(const std::string& path, std::string* text) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    return ReadAndCloseTesterFile(file, text);
}
