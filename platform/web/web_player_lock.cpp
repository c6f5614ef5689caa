// The page's lock on the player's files: a Web Lock shared by every tab of the site. Once
// it is had, the files other tabs stored are read again from IndexedDB; when it is let go,
// what this tab changed has been stored (page/files.js).
#include <emscripten/emscripten.h>

#include "platform/services/player_lock.h"

namespace {

int g_depth = 0;

EM_ASYNC_JS(void, WebLockPlayerFiles, (), { await zumbleLockFiles(); });
EM_ASYNC_JS(void, WebUnlockPlayerFiles, (), { await zumbleUnlockFiles(); });

}  // namespace

void LockPlayerFiles() {
    if (g_depth++ == 0) WebLockPlayerFiles();
}

void UnlockPlayerFiles() {
    if (g_depth > 0 && --g_depth == 0) WebUnlockPlayerFiles();
}
