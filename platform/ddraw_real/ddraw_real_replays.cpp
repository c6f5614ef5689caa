// zumble-ddraw.exe takes its messages from the system's own queue, which the port does
// not stand between: it records no replays and plays none. The game code's replay files
// link against these.
#include "platform/stand_in/input_tap.h"

void SetInputTap(const InputTap*) {}
void SetInputFeed(const InputFeed*) {}
const InputTap* ActiveInputTap() { return nullptr; }
const InputFeed* ActiveInputFeed() { return nullptr; }
BOOL TakeLiveMessage(MSG*) { return FALSE; }
DWORD ObserveTickCount() { return GetTickCount(); }

// Nor does it watch one: the viewer's platform side does nothing.
#include "platform/services/viewer_input.h"
#include "platform/stand_in/viewer_platform.h"

void SetViewerInput(const ViewerInput*) {}
const ViewerInput* ActiveViewerInput() { return nullptr; }
void ViewerDrawFrames(bool) {}
void ViewerShowFrameAgain() {}
void ViewerPumpInput() {}
void ViewerWaitForSlot() {}
void ViewerHoldSound(bool) {}
