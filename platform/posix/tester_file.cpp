// The tester's files on POSIX systems: paths are bytes, taken as they are.
#include "platform/services/tester_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

std::string AbsoluteTesterPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

std::FILE* OpenTesterFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool ReplaceTesterFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

bool ReadTesterFile(const std::string& path, std::string* text) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    return ReadAndCloseTesterFile(file, text);
}

std::FILE* OpenTesterFileToRead(const char* path, std::string* why) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = std::string("cannot open it: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *why = "not a regular file";
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        *why = std::string("cannot open it: ") + std::strerror(errno);
        close(fd);
    }
    return file;
}
