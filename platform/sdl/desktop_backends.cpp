// The desktop build's two backends: the player's SDL2 window, or --headless.
#include "platform/backend.h"
#include "platform/options.h"
#include "platform/sdl_backend.h"

const Backend& ChooseBackend() { return g_Options.headless ? HeadlessBackend() : SdlBackend(); }
