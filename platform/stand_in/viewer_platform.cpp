#include "platform/stand_in/viewer_platform.h"

#include "platform/stand_in/backend.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/runtime.h"
#include "platform/stand_in/sound_mixer.h"

void ViewerDrawFrames(bool draw) {
    SkipPixels(!draw);
    SkipFramePacing(!draw);
}

void ViewerShowFrameAgain() { PresentFrontAgain(); }
void ViewerPumpInput() { ActiveBackend().pumpInput(); }
void ViewerWaitForSlot() { ActiveBackend().waitForFrame(); }
void ViewerHoldSound(bool hold) { HoldSound(hold); }
