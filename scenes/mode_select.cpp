// The screen between the title and a round: the player sets the fly count and the
// speed with the arrows, then starts a round or goes back to the title.
#include "scenes/mode_select.h"

#include "media/display.h"
#include "media/sound.h"
#include "scenes/scene_globals.h"

int EnterModeSelect() {
    LoadSceneBitmap("bmp\\gamemode.bmp", 106);
    // The music is quieter here; a round raises it again.
    if (SND_BGM != nullptr) SND_BGM->SetVolume(-1500);
    return 1;
}

void ModeSelectFrame() {
    SetCursor(nullptr);
    DrawModeSelect();
    PresentFrame();
}

// The regions do not overlap, so one click acts at most once; a disabled arrow
// neither changes its setting nor makes a sound.
int ModeSelectClick() {
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    int x = cursor.x;
    int y = cursor.y;
    bool upperRow = 66 <= y && y < 103;
    bool lowerRow = 182 <= y && y < 219;
    bool leftArrow = 110 <= x && x < 140;
    bool rightArrow = 500 <= x && x < 530;

    if (leftArrow && upperRow && FlyCountSetting != 0) {
        PlayOnce(SND_BUTTON);
        --FlyCountSetting;
    }
    if (rightArrow && upperRow && FlyCountSetting != 3) {
        PlayOnce(SND_BUTTON);
        ++FlyCountSetting;
    }
    if (leftArrow && lowerRow && SpeedSetting != 0) {
        PlayOnce(SND_BUTTON);
        --SpeedSetting;
    }
    if (rightArrow && lowerRow && SpeedSetting != 3) {
        PlayOnce(SND_BUTTON);
        ++SpeedSetting;
    }
    if (174 < x && x < 466 && 300 < y && y < 344) ModeSelectStart();
    if (255 < x && x < 385 && 380 < y && y < 421) {
        PlayOnce(SND_OK);
        SceneState = STATE_MODE_LEAVE;
        NextState = STATE_TITLE_ENTER;
    }
    return 1;
}

void ModeSelectStart() {
    PlayOnce(SND_OK);
    SceneState = STATE_MODE_LEAVE;
    NextState = STATE_PLAY_ENTER;
}

int LeaveModeSelect() {
    ClearBackBuffer(156);
    return PresentFrame();
}
