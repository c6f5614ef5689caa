// Stand-in mode select until the scene lands: shows the sheet, starts a round on a click.
#include "scenes/mode_select.h"

#include "media/blit.h"
#include "media/display.h"
#include "shell/globals.h"

int EnterModeSelect() {
    LoadSceneBitmap("bmp\\gamemode.bmp", 106);
    return 1;
}

int DrawModeSelect() {
    BlitSprite(0, 0, 0, 0, 640, 480);
    return 1;
}

void ModeSelectFrame() {
    SetCursor(nullptr);
    DrawModeSelect();
    PresentFrame();
}

int ModeSelectClick() {
    SceneState = STATE_MODE_LEAVE;
    NextState = STATE_PLAY_ENTER;
    return 1;
}

int LeaveModeSelect() {
    ClearBackBuffer(156);
    return PresentFrame();
}
