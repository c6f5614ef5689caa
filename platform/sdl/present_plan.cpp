#include "platform/sdl/present_plan.h"

#include <cctype>
#include <cstring>
#include <string>

namespace {

std::string Lower(const char* text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool ParsePresentRequest(const char* text, PresentRequest* out) {
    const std::string s = text ? Lower(text) : std::string();
    if (s.empty() || s == "auto")
        *out = PresentRequest::Auto;
    else if (s == "renderer")
        *out = PresentRequest::Renderer;
    else if (s == "surface")
        *out = PresentRequest::Surface;
    else
        return false;
    return true;
}

bool IsSoftwareGl(const char* glRenderer) {
    if (!glRenderer) return false;
    const std::string name = Lower(glRenderer);
    for (const char* cpu :
         {"llvmpipe", "softpipe", "swrast", "software rasterizer", "swr (", "lavapipe",
          "gdi generic", "basic render driver", "apple software renderer"})
        if (name.find(cpu) != std::string::npos) return true;
    return false;
}

PresentPath ChoosePresentPath(PresentRequest request, const PresentFacts& facts) {
    if (!facts.haveRenderer) return PresentPath::Surface;
    if (!facts.surfaceUsable) return PresentPath::Renderer;
    switch (request) {
    case PresentRequest::Renderer: return PresentPath::Renderer;
    case PresentRequest::Surface: return PresentPath::Surface;
    case PresentRequest::Auto: break;
    }
    const bool gpu = facts.rendererAccelerated && !IsSoftwareGl(facts.glRenderer);
    return gpu ? PresentPath::Renderer : PresentPath::Surface;
}

int RefreshesPerGameFrame(int refreshHz) {
    return refreshHz > 0 && refreshHz % 60 == 0 ? refreshHz / 60 : 0;
}

bool VsyncFrameShown(VsyncTrust* trust, bool early) {
    if (trust->refused) return false;
    trust->earlyFrames = early ? trust->earlyFrames + 1 : 0;
    if (trust->earlyFrames < kEarlyFramesToRefuseVsync) return false;
    trust->refused = true;
    trust->earlyFrames = 0;
    return true;
}

void VsyncTryAgain(VsyncTrust* trust) { *trust = VsyncTrust(); }
