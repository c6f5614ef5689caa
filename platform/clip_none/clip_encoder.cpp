// Builds without a video encoder: a clip is refused with the reason.
#include "platform/services/clip_encoder.h"

const char* ClipFormatName() { return "none"; }

ClipEncoder* OpenClipEncoder(const std::string&, int, int, std::string* error) {
    *error =
        "this build of zumble makes no clips (it was built without libvpx, libopus, libyuv and "
        "libspeexdsp)";
    return nullptr;
}

bool ClipAddPicture(ClipEncoder*, const std::uint32_t*, std::string*) { return false; }
bool ClipAddSound(ClipEncoder*, const std::int16_t*, int, std::string*) { return false; }
bool CloseClipEncoder(ClipEncoder*, std::string*) { return false; }
void DiscardClipEncoder(ClipEncoder*) {}
