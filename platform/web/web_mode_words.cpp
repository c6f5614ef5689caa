// A mode in the game's words for the page's panels ("10 flies, NORMAL"): the page names
// modes as the game does, through the one table in replay/core/mode_words.h.
#include <emscripten/emscripten.h>

#include "replay/core/mode_words.h"

extern "C" EMSCRIPTEN_KEEPALIVE const char* ZumbleModeName(int flies, int speed) {
    static char text[48];
    ModeName(flies, speed, text, sizeof text);
    return text;
}
