#include "platform/services/letterbox.h"

#include <algorithm>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

}  // namespace

Letterbox FitPicture(int windowWidth, int windowHeight) {
    Letterbox box;
    box.scale = std::max(1, std::min(windowWidth / kWidth, windowHeight / kHeight));
    box.x = (windowWidth - kWidth * box.scale) / 2;
    box.y = (windowHeight - kHeight * box.scale) / 2;
    return box;
}

void WindowToGame(const Letterbox& box, int wx, int wy, int* gx, int* gy) {
    // Rounds towards minus infinity, so the pixels left of and above the picture map
    // below 0 rather than onto its first column or row.
    const auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
    *gx = floorDiv(wx - box.x, box.scale);
    *gy = floorDiv(wy - box.y, box.scale);
}
