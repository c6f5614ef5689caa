#pragma once
// Everything a round reads or writes, listed once, beside the globals it names. The
// replay viewer's key frames save and put back all of it (replay/replay_snapshot.cpp);
// the replay's state checksum hashes the checked part, in the order below, which is the
// replay format's (replay/replay_state.cpp); the splits' reference round keeps it while
// it plays a round out of sight. A global that a round uses and this list leaves out
// would be lost by a seek or by the splits without any error: the test
// RoundState.EveryWritableGlobalIsListedOrNamedAnException fails on a writable global
// of the game's code that is neither here nor among that test's named exceptions.

#include "media/random.h"
#include "media/scene_state.h"
#include "objects/instances.h"
#include "scenes/best_times.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"
#include "scenes/title.h"

// Calls, on the visitor:
//   Checked(name, global)  a number in the checksum (as a 32-bit word) and the key frames
//   Kept(name, global)     a number or an array of numbers in the key frames only
//   Random()               the random sequence's state, in the checksum and the key frames
//   List(name, list)       a pooled list, in both (the flies' places only in the checksum)
//   Cursor()               where the cursor is, in the key frames only
template <class Visitor>
void VisitRoundState(Visitor& v) {
    v.Checked("SceneState", SceneState);
    v.Checked("NextState", NextState);
    v.Checked("RoundPhase", RoundPhase);
    v.Checked("PhaseFrames", PhaseFrames);
    v.Checked("FliesSpawned", FliesSpawned);
    v.Checked("FliesSwatted", FliesSwatted);
    v.Checked("TargetFlies", TargetFlies);
    v.Checked("SpawnDivisor", SpawnDivisor);
    v.Checked("MouseDown", MouseDown);
    v.Checked("FlyCountSetting", FlyCountSetting);
    v.Checked("SpeedSetting", SpeedSetting);
    v.Checked("ClockSeconds", ClockSeconds);
    v.Checked("ClockMillis", ClockMillis);
    v.Checked("ClockMinutes", ClockMinutes);
    v.Random();
    v.Checked("RoundStartTick", RoundStartTick);
    v.Checked("RoundLastTick", RoundLastTick);
    v.List("Flies", Flies);
    v.List("FallingBodies", FallingBodies);
    v.List("BouncingBodies", BouncingBodies);
    v.List("DebrisA", DebrisA);
    v.List("DebrisB", DebrisB);
    v.List("SwatMarks", SwatMarks);
    v.List("ResultBlink", ResultBlink);
    // The board and the best times (a round played again records its time again), the
    // speed the flies were given, the title's clock and sign.
    v.Kept("BaseSpeed", BaseSpeed);
    v.Kept("BoardMinutes", BoardMinutes);
    v.Kept("BoardSeconds", BoardSeconds);
    v.Kept("BoardMillis", BoardMillis);
    v.Kept("BestTimes", BestTimes);
    v.Kept("SignPhase", SignPhase);
    v.Kept("IdleStartTick", IdleStartTick);
    v.Kept("TitleTick", TitleTick);
    v.Cursor();
}
