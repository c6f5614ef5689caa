#include "media/scene_state.h"

int SceneState = STATE_START;
