#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <string>
#include <system_error>

std::FILE* OpenGamePath(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    // A pipe or socket in a data file's place would block the open (and the game) until
    // somebody writes to it: refuse it, as a file the game cannot use.
    struct stat info;
    if (stat(p.c_str(), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
        errno = EINVAL;
        return nullptr;
    }
    std::FILE* file = std::fopen(p.c_str(), mode);
    if (file && fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

bool FlushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool RenameOver(const char* from, const char* to) { return std::rename(from, to) == 0; }

namespace {

bool HoldsData(const std::filesystem::path& dir) {
    std::error_code ec;
    return std::filesystem::is_directory(dir / "bmp", ec) && std::filesystem::is_directory(dir / "wave", ec);
}

}  // namespace

void FindGameData() {
    if (HoldsData(".")) return;
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return;
    for (std::filesystem::path dir = exe.parent_path(); !dir.empty(); dir = dir.parent_path()) {
        if (HoldsData(dir)) {
            if (chdir(dir.c_str()) == 0)
                std::fprintf(stderr, "zumble: no bmp/ and wave/ here; using the game data in %s\n", dir.c_str());
            return;
        }
        if (dir == dir.root_path()) break;
    }
}
