#include "platform/services/files.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/posix/game_paths.h"
#include "platform/services/data_report.h"

namespace {

// Plain arrays, not strings: the error log is written by a static destructor that runs
// after every other static of the program is gone.
char g_dataFolder[4096];    // "" = the current folder
char g_playerFolder[4096];  // "" = the current folder
bool g_noSaving = false;
bool g_forbidden = false;  // ForbidSaving: for the whole run, whatever the folder

bool IsDataPath(const std::string& p) {
    return p.rfind("bmp/", 0) == 0 || p.rfind("wave/", 0) == 0;
}

// The path with its backslashes taken as directory separators.
std::string Relative(const char* path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

// The path to hand to the system, or false when the file may not be touched.
bool Resolve(const char* path, std::string* out) {
    std::string p = Relative(path);
    if (!p.empty() && p[0] != '/') {
        const bool data = IsDataPath(p);
        if (!data && (g_noSaving || g_forbidden)) {
            errno = EACCES;
            return false;
        }
        const char* folder = data ? g_dataFolder : g_playerFolder;
        if (*folder) p = std::string(folder) + "/" + p;
    }
    *out = std::move(p);
    return true;
}

bool HoldsData(const std::filesystem::path& dir) {
    std::error_code ec;
    return std::filesystem::is_directory(dir / "bmp", ec) &&
           std::filesystem::is_directory(dir / "wave", ec);
}

bool Keep(char* slot, const std::string& value) {
    if (value.size() >= sizeof g_dataFolder) return false;
    std::memcpy(slot, value.c_str(), value.size() + 1);
    return true;
}

// $XDG_DATA_HOME/zumble, or ~/.local/share/zumble; "" when there is no home to use.
// *base is the part that must exist already: the home folder is never made.
std::string PlayerFolderPath(std::string* base) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {  // a relative one is ignored
        base->assign(1, '/');    // (assigning "/" trips a false -Wrestrict in GCC 12)
        return std::string(xdg) + "/zumble";
    }
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : nullptr;
    }
    if (!home || home[0] != '/') return "";
    *base = home;
    return std::string(home) + "/.local/share/zumble";
}

// A path as the one line on stderr shows it: a long one by its two ends.
std::string Shown(const std::string& path) {
    if (path.size() <= 80) return path;
    return path.substr(0, 30) + "..." + path.substr(path.size() - 45);
}

// Everything about the path that can be known before making any folder: its length
// (with room for the files kept there), each name's, no "." or ".." that could lead
// elsewhere, and a folder that takes new ones where the first missing name is. Empty
// when the path can be made, else why not.
std::string CheckFolderPath(const std::string& path, const std::string& base) {
    if (path.size() + sizeof "/hiscoa.sav.tmp" > sizeof g_playerFolder)
        return "the path is too long";
    struct stat info;
    if (stat(base.c_str(), &info) != 0) return Shown(base) + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return Shown(base) + " is not a folder";
    std::string existing = base;  // the deepest folder there already
    bool missing = false;
    for (std::size_t at = base.size(); at < path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string name = path.substr(at, end - at);
        at = end + 1;
        if (name.empty()) continue;
        if (name == "." || name == "..") return "the path holds . or ..";
        if (name.size() > NAME_MAX) return "a name in the path is too long";
        if (missing) continue;
        const std::string part = path.substr(0, end);
        if (stat(part.c_str(), &info) != 0) {
            if (errno != ENOENT) return std::strerror(errno);
            missing = true;
            continue;
        }
        if (!S_ISDIR(info.st_mode)) return Shown(part) + " is not a folder";
        existing = part;
    }
    if (missing && access(existing.c_str(), W_OK | X_OK) != 0)
        return Shown(existing) + ": " + std::strerror(errno);
    return "";
}

// Makes the folder and its missing parents below base, each private to the player,
// once CheckFolderPath has found nothing against it. Empty on success, else what went
// wrong.
std::string MakeFolder(const std::string& path, const std::string& base) {
    std::string why = CheckFolderPath(path, base);
    if (!why.empty()) return why;
    struct stat info;
    for (std::size_t at = base.size(); at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return std::strerror(errno);
        if (stat(part.c_str(), &info) != 0) return std::strerror(errno);
        if (!S_ISDIR(info.st_mode)) return Shown(part) + " is not a folder";
    }
    return "";
}

}  // namespace

void UsePlayerFolder() {
    // A replay being watched or verified touches none of the player's files.
    if (g_forbidden) return;
    g_noSaving = false;
    g_playerFolder[0] = '\0';
    std::string base;
    const std::string folder = PlayerFolderPath(&base);
    std::string why = folder.empty() ? "no home folder is set" : MakeFolder(folder, base);
    if (why.empty() && !Keep(g_playerFolder, folder)) why = "the path is too long";
    if (why.empty()) return;
    g_noSaving = true;
    std::fprintf(stderr,
                 "zumble: cannot make the folder for hiscoa.sav and error.txt%s%s (%s); "
                 "playing on without saving them\n",
                 folder.empty() ? "" : " ", Shown(folder).c_str(), why.c_str());
}

namespace {

std::FILE* Open(const std::string& p, const char* mode) {
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

}  // namespace

std::FILE* OpenGamePath(const char* path, const char* mode) {
    if (!path || !mode) return nullptr;
    std::string p;
    if (!Resolve(path, &p)) return nullptr;
    std::FILE* file = Open(p, mode);
    if (!file && IsDataPath(Relative(path))) {
        const int why = errno;
        SayDataFileUnreadable(p.c_str(), why == EINVAL ? "not a regular file" : std::strerror(why));
        errno = why;
    }
    return file;
}

bool GameSystemPath(const char* path, std::string* out) { return path && Resolve(path, out); }

bool ShownGamePath(const char* path, std::string* out) {
    std::string p;
    if (!path || !Resolve(path, &p)) return false;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(p, ec);
    *out = ec ? p : full.lexically_normal().string();
    return true;
}

int RenameGamePath(const char* from, const char* to) {
    std::string a, b;
    if (!from || !to || !Resolve(from, &a) || !Resolve(to, &b)) return -1;
    return std::rename(a.c_str(), b.c_str());
}

int RemoveGamePath(const char* path) {
    std::string p;
    if (!path || !Resolve(path, &p)) return -1;
    return std::remove(p.c_str());
}

int MakeGameFolder(const char* path) {
    std::string p;
    if (!path || !Resolve(path, &p)) return -1;
    if (mkdir(p.c_str(), 0777) == 0) return 0;
    struct stat info;
    return errno == EEXIST && stat(p.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 0 : -1;
}

void ForbidSaving() { g_forbidden = true; }

bool FlushToDisk(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

void FindGameData() {
    if (HoldsData(".")) return;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return;
    // An installed tree (bin or games folder beside share/games/zumble): the data stays
    // where it is, read-only, and the player's files go to the player's own folder. No
    // install prefix is built in, so the tree works wherever it is unpacked.
    const std::filesystem::path installed =
        exe.parent_path().parent_path() / "share" / "games" / "zumble";
    if (HoldsData(installed) && Keep(g_dataFolder, installed.lexically_normal().string())) {
        UsePlayerFolder();
        return;
    }
    for (std::filesystem::path dir = exe.parent_path(); !dir.empty(); dir = dir.parent_path()) {
        if (HoldsData(dir)) {
            if (chdir(dir.c_str()) == 0)
                std::fprintf(stderr, "zumble: no bmp/ and wave/ here; using the game data in %s\n",
                             dir.c_str());
            return;
        }
        if (dir == dir.root_path()) break;
    }
}
