// Stand-in title until the scene lands: shows the sheet, goes on on a click.
#include "scenes/title.h"

#include "media/blit.h"
#include "media/display.h"
#include "shell/globals.h"

int SignPhase = 0;
std::uint32_t IdleStartTick = 0;
std::uint32_t TitleTick = 0;

int EnterTitle() {
    LoadSceneBitmap("bmp\\title.bmp", 255);
    return 1;
}

int DrawTitle() {
    BlitSprite(0, 0, 0, 0, 640, 480);
    return 1;
}

void UpdateTitleSign() {}
void UpdateIdleFly() {}

void TitleFrame() {
    SetCursor(nullptr);
    DrawTitle();
    PresentFrame();
}

int TitleClick() {
    SceneState = STATE_TITLE_LEAVE;
    NextState = STATE_MODE_ENTER;
    return 1;
}

int LeaveTitle() {
    ClearBackBuffer(0);
    return PresentFrame();
}
