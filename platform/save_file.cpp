#include "platform/save_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

bool WriteAll(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool RewriteInPlace(int fd, const unsigned char* bytes, std::size_t size) {
    return lseek(fd, 0, SEEK_SET) == 0 && WriteAll(fd, bytes, size) &&
           ftruncate(fd, static_cast<off_t>(size)) == 0 && fsync(fd) == 0;
}

// The folder, not the file, said no.
bool FolderRefused(int error) { return error == EACCES || error == EPERM; }

}  // namespace

bool SaveFileReplacing(const char* path, const char* tempPath, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    // The old file must take writing (a pipe is not waited on: no reader is as good as
    // no file, since the rename replaces it). It stays open for a rewrite in place.
    const int old = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (old < 0 && errno != ENOENT && errno != ENXIO) return false;
    struct stat oldInfo{};
    const bool oldIsFile = old >= 0 && fstat(old, &oldInfo) == 0 && S_ISREG(oldInfo.st_mode);
    auto fallBack = [&](int error) {
        const bool saved = FolderRefused(error) && oldIsFile && RewriteInPlace(old, bytes, size);
        if (old >= 0) close(old);
        return saved;
    };

    const int temp = open(tempPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (temp < 0) return fallBack(errno);
    bool ok = WriteAll(temp, bytes, size) && fsync(temp) == 0;
    struct stat tempInfo{};
    if (ok && oldIsFile && fstat(temp, &tempInfo) == 0 && S_ISREG(tempInfo.st_mode)) {
        // The new file stands for the old one. Only root may give it to another owner;
        // the mode is set after the owner, which may clear it.
        if (tempInfo.st_uid != oldInfo.st_uid || tempInfo.st_gid != oldInfo.st_gid)
            (void)fchown(temp, oldInfo.st_uid, oldInfo.st_gid);
        (void)fchmod(temp, oldInfo.st_mode & 0777);
    }
    ok = close(temp) == 0 && ok;
    if (!ok) {
        unlink(tempPath);
        if (old >= 0) close(old);
        return false;
    }
    if (std::rename(tempPath, path) != 0) {
        const int error = errno;
        unlink(tempPath);
        return fallBack(error);
    }
    if (old >= 0) close(old);
    return true;
}
