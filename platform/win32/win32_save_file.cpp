// Saving one of the player's files on Windows: a temporary file, put on the disk, then
// moved over the old one in one step (RenameGamePath); where the folder takes no new file
// but the old file may be written, the old file is rewritten in place. Windows keeps no
// mode bits to carry over: a read-only file refuses the opening below and is left alone.
#include <io.h>

#include <cerrno>
#include <cstdio>

#include "platform/core/files.h"
#include "platform/core/save_file.h"

namespace {

bool RewriteInPlace(std::FILE* old, const void* bytes, std::size_t size) {
    return old != nullptr && std::fseek(old, 0, SEEK_SET) == 0 && std::fwrite(bytes, 1, size, old) == size &&
           std::fflush(old) == 0 && _chsize_s(_fileno(old), static_cast<long long>(size)) == 0 &&
           FlushToDisk(old);
}

}  // namespace

bool SaveFileReplacing(const char* path, const char* tempPath, const void* bytes, std::size_t size) {
    std::FILE* old = OpenGamePath(path, "r+b");
    if (old == nullptr && errno != ENOENT) return false;
    bool saved = false;
    std::FILE* temp = OpenGamePath(tempPath, "wb");
    if (temp == nullptr) {
        saved = errno == EACCES && RewriteInPlace(old, bytes, size);
    } else {
        bool ok = std::fwrite(bytes, 1, size, temp) == size;
        ok = FlushToDisk(temp) && ok;
        ok = std::fclose(temp) == 0 && ok;
        if (ok && RenameGamePath(tempPath, path) == 0) {
            saved = true;
        } else {
            RemoveGamePath(tempPath);
            saved = ok && RewriteInPlace(old, bytes, size);
        }
    }
    if (old != nullptr) std::fclose(old);
    return saved;
}
