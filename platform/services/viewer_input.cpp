#include "platform/services/viewer_input.h"

#include <cstring>

namespace {

const ViewerInput* g_viewer = nullptr;

}  // namespace

void SetViewerInput(const ViewerInput* input) { g_viewer = input; }
const ViewerInput* ActiveViewerInput() { return g_viewer; }

bool ActiveViewerSeeking() { return g_viewer && g_viewer->seeking && g_viewer->seeking(); }

bool DescribeViewerOverlay(ViewerOverlay* out) {
    if (!g_viewer || !g_viewer->describe) return false;
    g_viewer->describe(out);
    return out->shown;
}

bool ViewerKeyForName(const char* name, ViewerKey* key) {
    struct Name {
        const char* name;
        ViewerKey key;
    };
    static constexpr Name kNames[] = {
        {" ", ViewerKey::PlayPause},
        {"Spacebar", ViewerKey::PlayPause},
        {",", ViewerKey::FrameBack},
        {".", ViewerKey::FrameForward},
        {"ArrowLeft", ViewerKey::Back},
        {"Left", ViewerKey::Back},
        {"ArrowRight", ViewerKey::Forward},
        {"Right", ViewerKey::Forward},
        {"Home", ViewerKey::Start},
        {"End", ViewerKey::End},
        {"-", ViewerKey::Slower},
        {"_", ViewerKey::Slower},
        {"+", ViewerKey::Faster},
        {"=", ViewerKey::Faster},
        {"o", ViewerKey::Overlay},
        {"O", ViewerKey::Overlay},
        {"?", ViewerKey::Help},
        {"Escape", ViewerKey::Leave},
        {"Esc", ViewerKey::Leave},
    };
    if (!name) return false;
    for (const Name& n : kNames) {
        if (std::strcmp(n.name, name) != 0) continue;
        *key = n.key;
        return true;
    }
    return false;
}
