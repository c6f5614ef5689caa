// The desktop build's two backends: the player's SDL2 window, or --headless.
#include "platform/sdl/sdl_backend.h"
#include "platform/services/options.h"
#include "platform/stand_in/backend.h"

const Backend& ChooseBackend() { return g_Options.headless ? HeadlessBackend() : SdlBackend(); }
