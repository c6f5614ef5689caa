#include "platform/services/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "platform/posix/game_paths.h"

namespace {

struct OldFile {
    int fd = -1;
    bool appendOnly = false;  // opened to write only: every write goes to its end
    bool regular = false;
    struct stat info {};
};

// Opens an existing file for writing; false (and errno) when it may not be written.
// A missing file is fine: `fd` stays -1. A link is not followed here: the path is the
// link's end already.
bool OpenOld(const std::string& path, OldFile* old) {
    old->fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    // A file that may be written but not read: appending cannot make a file here, since
    // no O_CREAT is given.
    if (old->fd < 0 && errno == EACCES) {
        old->fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        old->appendOnly = old->fd >= 0;
    }
    // None there, or a link that is not followed: the new file takes its name.
    if (old->fd < 0) return errno == ENOENT || errno == ELOOP;
    old->regular = fstat(old->fd, &old->info) == 0 && S_ISREG(old->info.st_mode);
    return true;
}

bool WriteAll(int fd, const void* bytes, std::size_t size) {
    const char* p = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool RewriteInPlace(const OldFile& old, const void* bytes, std::size_t size) {
    if (!old.regular) return false;
    // Written over the old bytes, then cut to the new length; a file open only for
    // appending has to be emptied first.
    if (old.appendOnly && ftruncate(old.fd, 0) != 0) return false;
    return (old.appendOnly || lseek(old.fd, 0, SEEK_SET) == 0) && WriteAll(old.fd, bytes, size) &&
           ftruncate(old.fd, static_cast<off_t>(size)) == 0 && fsync(old.fd) == 0;
}

// The folder, not the file, said no.
bool FolderRefused(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// The mode a file made by fopen would get, but always one the player (and the game, at
// its next start) can read and write: the browser build's umask() answers 0777, which
// would leave every saved file unreadable.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return (0666 & ~mask) | S_IRUSR | S_IWUSR;
}

// The new file stands for the old one. Only root may give it to another owner; the mode
// is set after the owner, which may clear it.
void TakeOldFilesPlace(int fd, const OldFile& old) {
    if (!old.regular) {
        (void)fchmod(fd, NewFileMode());
        return;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (info.st_uid != old.info.st_uid || info.st_gid != old.info.st_gid)
        (void)fchown(fd, old.info.st_uid, old.info.st_gid);
    (void)fchmod(fd, old.info.st_mode & 0777);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A link is followed only where its owner could have put a file there anyway: the one
// saving, or the folder's owner. A link that someone else planted in a shared folder is
// replaced, never written through.
bool TrustedLink(const std::string& path, const struct stat& link) {
    if (link.st_uid == geteuid()) return true;
    struct stat folder {};
    return stat(FolderOf(path).c_str(), &folder) == 0 && folder.st_uid == link.st_uid;
}

// Where a save of `path` lands: the file at the end of its links (a best-times file kept
// in a synced folder stays a link to an updated file).
std::string FinalTarget(std::string path) {
    for (int hop = 0; hop < 8; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) || !TrustedLink(path, info))
            break;
        char target[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) break;
        target[n] = '\0';
        path = target[0] == '/' ? std::string(target) : FolderOf(path) + "/" + target;
    }
    return path;
}

// Puts the folder's list of names on the disk, so that a power cut after the rename
// cannot bring the old file back. Some file systems cannot sync a folder: no harm.
void SyncFolder(const std::string& path) {
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)fsync(fd);
    close(fd);
}

// Makes the temporary file anew: whatever had its name (a leftover, a link to another
// file, a second name of one) is removed, never opened. Private until its mode is set.
// -1 with errno when it cannot be made.
int MakeTemp(const std::string& temp) {
    if (unlink(temp.c_str()) != 0 && errno != ENOENT) return -1;
    return open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace

bool SaveFileReplacing(const char* path, const char* tempPath, const void* bytes,
                       std::size_t size) {
    std::string target, temp;
    if (!GameSystemPath(path, &target) || !GameSystemPath(tempPath, &temp)) return false;
    const std::string end = FinalTarget(target);
    if (end != target) {
        target = end;
        temp = end + ".tmp";
    }
    OldFile old;
    if (!OpenOld(target, &old)) return false;
    bool saved = false;
    const int fd = MakeTemp(temp);
    if (fd < 0) {
        saved = FolderRefused(errno) && RewriteInPlace(old, bytes, size);
    } else {
        bool ok = WriteAll(fd, bytes, size);
        if (ok) TakeOldFilesPlace(fd, old);
        ok = ok && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        if (ok && rename(temp.c_str(), target.c_str()) == 0) {
            SyncFolder(target);
            saved = true;
        } else {
            const int error = errno;
            unlink(temp.c_str());
            saved = ok && FolderRefused(error) && RewriteInPlace(old, bytes, size);
        }
    }
    if (old.fd >= 0) close(old.fd);
    return saved;
}
