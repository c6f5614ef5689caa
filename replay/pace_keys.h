#pragma once
// Enter and Space change how fast the flies come (SpawnDivisor). A key changes the
// round's pace when the game takes it in play, flies still to come, and the rate it
// leaves is not the one before (Enter at the least rate changes nothing): what --verify
// counts as keys= and the history marks. Watched from the input as the game takes it.

struct PaceKeys {
    bool pending = false;  // a key taken, judged once the game has acted on it
    bool counts = false;   // it was taken while flies were still to come
    int divisorBefore = 0;
    int changes = 0;  // the keys that changed the pace so far
};

// A key message just before the game takes it; `roundOver` when the round it would
// change has ended already. Settles the key before it first.
void PaceKeyTaken(PaceKeys* keys, unsigned message, unsigned long long wParam, bool roundOver);
// After the game has acted on the key: at the next input, drain's end or flip.
void SettlePaceKey(PaceKeys* keys);
