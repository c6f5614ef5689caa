#include "platform/core/viewer_platform.h"

#include "platform/core/backend.h"
#include "platform/core/ddraw.h"
#include "platform/core/runtime.h"

void ViewerDrawFrames(bool draw) {
    SkipPixels(!draw);
    SkipFramePacing(!draw);
}

void ViewerShowFrameAgain() { PresentFrontAgain(); }
void ViewerPumpInput() { ActiveBackend().pumpInput(); }
void ViewerWaitForSlot() { ActiveBackend().waitForFrame(); }
void ViewerHoldSound(bool hold) { HoldSound(hold); }
