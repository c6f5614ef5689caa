// Stand-in play scene until the round lands: shows the play sheet, leaves on a click.
#include "scenes/play.h"

#include "media/blit.h"
#include "media/display.h"
#include "shell/globals.h"

int TargetFlies = 0;
double BaseSpeed = 0;
int FliesSpawned = 0;
int FliesSwatted = 0;
int RoundPhase = Playing;
int PhaseFrames = 0;
std::uint32_t RoundStartTick = 0;
std::uint32_t RoundLastTick = 0;
std::uint16_t ClockMinutes = 0;
int ClockSeconds = 0;
int ClockMillis = 0;
std::uint16_t BoardMinutes[5] = {};
int BoardSeconds[5] = {};
int BoardMillis[5] = {};

int EnterPlay() {
    LoadSceneBitmap("bmp\\game.bmp", 255);
    return 1;
}

int DrawPlay(int) {
    BlitSprite(0, 0, 0, 0, 640, 480);
    return 1;
}

void PlayFrame() {
    SetCursor(nullptr);
    DrawPlay(PhaseFrames);
    PresentFrame();
}

int PlayClick() {
    SceneState = STATE_PLAY_LEAVE;
    NextState = STATE_MODE_ENTER;
    return 1;
}

void ReapObjects() {}
void UpdateBuzz() {}

void LeavePlay() {
    ClearBackBuffer(0);
    PresentFrame();
}
