#include "platform/core/save_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/core/files.h"

namespace {

struct OldFile {
    std::FILE* file = nullptr;
    bool appendOnly = false;  // opened to write only: every write goes to its end
    bool regular = false;
    struct stat info{};
};

// Opens an existing file for writing; false (and errno) when it may not be written.
// A missing file is fine: `file` stays null.
bool OpenOld(const char* path, OldFile* old) {
    old->file = OpenGamePath(path, "r+b");
    // A file that may be written but not read: appending cannot make a file here, since
    // it exists (or its folder is closed, when this fails as well).
    if (old->file == nullptr && errno == EACCES) {
        old->file = OpenGamePath(path, "ab");
        old->appendOnly = old->file != nullptr;
    }
    if (old->file == nullptr) return errno == ENOENT;
    old->regular = fstat(fileno(old->file), &old->info) == 0 && S_ISREG(old->info.st_mode);
    return true;
}

bool RewriteInPlace(const OldFile& old, const void* bytes, std::size_t size) {
    if (!old.regular) return false;
    const int fd = fileno(old.file);
    // Written over the old bytes, then cut to the new length; a file open only for
    // appending has to be emptied first.
    if (old.appendOnly && ftruncate(fd, 0) != 0) return false;
    return std::fseek(old.file, 0, SEEK_SET) == 0 && std::fwrite(bytes, 1, size, old.file) == size &&
           std::fflush(old.file) == 0 && ftruncate(fd, static_cast<off_t>(size)) == 0 && FlushToDisk(old.file);
}

// The folder, not the file, said no.
bool FolderRefused(int error) { return error == EACCES || error == EPERM; }

// The new file stands for the old one. Only root may give it to another owner; the mode
// is set after the owner, which may clear it.
void TakeOldFilesPlace(std::FILE* file, const OldFile& old) {
    struct stat info{};
    const int fd = fileno(file);
    if (!old.regular || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return;
    if (info.st_uid != old.info.st_uid || info.st_gid != old.info.st_gid)
        (void)fchown(fd, old.info.st_uid, old.info.st_gid);
    (void)fchmod(fd, old.info.st_mode & 0777);
}

}  // namespace

bool SaveFileReplacing(const char* path, const char* tempPath, const void* bytes, std::size_t size) {
    OldFile old;
    if (!OpenOld(path, &old)) return false;
    bool saved = false;
    std::FILE* temp = OpenGamePath(tempPath, "wb");
    if (temp == nullptr) {
        saved = FolderRefused(errno) && RewriteInPlace(old, bytes, size);
    } else {
        bool ok = std::fwrite(bytes, 1, size, temp) == size;
        ok = FlushToDisk(temp) && ok;
        if (ok) TakeOldFilesPlace(temp, old);
        ok = std::fclose(temp) == 0 && ok;
        if (ok && RenameGamePath(tempPath, path) == 0) {
            saved = true;
        } else {
            const int error = errno;
            RemoveGamePath(tempPath);
            saved = ok && FolderRefused(error) && RewriteInPlace(old, bytes, size);
        }
    }
    if (old.file != nullptr) std::fclose(old.file);
    return saved;
}
