// Data files that come after the game has started (the music). Until one is in, the
// page's folder holds a stand-in of the same size, with the file's own header and silence
// after it (page/shell.html, zumbleLoad), so the game's loading goes as with the file
// itself. Once the page has written the whole file, the game's reader that the entry gave
// (its sounds read again) reads it, between two frames.

#include <emscripten/emscripten.h>

#include "platform/stand_in/sound_mixer.h"
#include "platform/web/web_backend.h"

namespace {

void (*g_reader)() = nullptr;
bool g_arrived = false;

}  // namespace

EM_JS(void, WebLateFilesRead, (), { zumbleLateFilesRead(); });

void WebSetLateFileReader(void (*reader)()) { g_reader = reader; }

// The page has written every late file into the game's folder.
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleLateFilesArrived() { g_arrived = true; }

void WebReadLateFiles() {
    // A seek's frames mix nothing: a sound filled then would hold no samples to hear.
    if (!g_arrived || g_reader == nullptr || SoundUnheard()) return;
    g_arrived = false;
    g_reader();
    WebLateFilesRead();
}
