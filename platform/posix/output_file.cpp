// The tester's output files on POSIX systems: paths are bytes, taken as they are.
#include "platform/core/output_file.h"

#include <filesystem>
#include <system_error>

std::string AbsoluteOutputPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

std::FILE* OpenOutputFile(const char* path, const char* mode) { return std::fopen(path, mode); }
