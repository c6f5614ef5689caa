// Saving one of the player's files on Windows: a temporary file, put on the disk, then
// moved over the old one in one step (RenameGamePath); where the folder takes no new file
// but the old file may be written, the old file is rewritten in place. Windows keeps no
// mode bits to carry over: a read-only file refuses the opening below and is left alone.
#include <io.h>

#include <cerrno>
#include <cstdio>

#include "platform/services/files.h"
#include "platform/services/save_file.h"

namespace {

// An existing file must take writing, as it would if rewritten in place. Windows will not
// move a file over one that is open: the check's handle is closed before the move.
bool MayWriteOld(const char* path) {
    std::FILE* old = OpenGamePath(path, "r+b");
    if (old == nullptr) return errno == ENOENT;
    std::fclose(old);
    return true;
}

bool RewriteInPlace(const char* path, const void* bytes, std::size_t size) {
    std::FILE* old = OpenGamePath(path, "r+b");
    if (old == nullptr) return false;
    bool ok = std::fwrite(bytes, 1, size, old) == size && std::fflush(old) == 0 &&
              _chsize_s(_fileno(old), static_cast<long long>(size)) == 0 && FlushToDisk(old);
    return std::fclose(old) == 0 && ok;
}

}  // namespace

bool SaveFileReplacing(const char* path, const char* tempPath, const void* bytes,
                       std::size_t size) {
    if (!MayWriteOld(path)) return false;
    std::FILE* temp = OpenGamePath(tempPath, "wb");
    if (temp == nullptr) return errno == EACCES && RewriteInPlace(path, bytes, size);
    bool ok = std::fwrite(bytes, 1, size, temp) == size;
    ok = FlushToDisk(temp) && ok;
    ok = std::fclose(temp) == 0 && ok;
    if (ok && RenameGamePath(tempPath, path) == 0) return true;
    RemoveGamePath(tempPath);
    return ok && RewriteInPlace(path, bytes, size);
}
