#include "replay/pace_keys.h"

#include "platform/stand_in/win32.h"

#include "scenes/play.h"
#include "scenes/scene_globals.h"

void PaceKeyTaken(PaceKeys* keys, unsigned message, unsigned long long wParam, bool roundOver) {
    SettlePaceKey(keys);
    if (message != WM_KEYDOWN || (wParam != VK_RETURN && wParam != VK_SPACE)) return;
    // The rate is read only while flies are still to come (and EnterPlay sets it afresh
    // before the round): a key elsewhere changes nothing that was dealt.
    keys->pending = true;
    keys->counts = !roundOver && SceneState == STATE_PLAY_FRAME && RoundPhase == Playing &&
                   FliesSpawned < TargetFlies;
    keys->divisorBefore = SpawnDivisor;
}

void SettlePaceKey(PaceKeys* keys) {
    if (!keys->pending) return;
    keys->pending = false;
    if (keys->counts && SpawnDivisor != keys->divisorBefore) ++keys->changes;
}
