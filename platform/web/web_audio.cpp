// The game's sound in the browser. The page's audio thread cannot call into the game
// (that would take shared memory and threads, which a plain static host does not
// allow), so the mix is made on the game's thread one frame at a time, exactly as in a
// headless run, and each frame's samples are handed to Web Audio. The sound therefore
// keeps step with the picture and a hidden tab falls silent with the game.
#include <emscripten/emscripten.h>

#include "platform/services/master_volume.h"
#include "platform/services/notice.h"
#include "platform/services/viewer_input.h"
#include "platform/web/web_backend.h"

EM_JS(void, WebFeedAudio, (const short* samples, int count),
      { zumbleFeedAudio(HEAP16.subarray(samples >> 1, (samples >> 1) + count)); });

// A seek in a watched replay plays hundreds of frames in a moment, all silent (the viewer
// holds the sound): none of them goes to the page's output, which would only queue them.
void WebPlayFrameMix(const short* samples, int frames) {
    if (!ActiveViewerSeeking()) WebFeedAudio(samples, frames * 2);
}

// The page's slider and mute button (page/sound.js): the mix of the next frame has them.
extern "C" EMSCRIPTEN_KEEPALIVE void ZumbleSetVolume(int percent, int muted) {
    const bool was = MasterMuted();
    SetMasterVolume(percent, muted != 0);
    if (was != (muted != 0)) ShowNotice(muted ? "sound off (M)" : "sound on (M)");
}
