#include "shell/driver/clip_run.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "platform/services/clip_encoder.h"
#include "platform/services/options.h"
#include "platform/services/overlay_draw.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/scale_convert.h"
#include "platform/stand_in/sound_mixer.h"
#include "replay/replay_viewer.h"

namespace {

struct Clip {
    ClipEncoder* encoder = nullptr;
    int scale = 1, width = 0, height = 0;
    long long from = 0, to = 0;  // the round's frames kept: from .. to - 1
    long long pictures = 0;
    std::unique_ptr<std::uint32_t[]> picture;
    std::unique_ptr<std::uint32_t[]> layer;  // the overlay at 640x480
    ViewerOverlay overlay{};
    std::string failed;  // why writing stopped, empty while it goes on
};

Clip g_clip;

// The overlay's straight-alpha layer over the enlarged picture, a layer pixel over each
// scale x scale block.
void BlendOverlay() {
    Clip& c = g_clip;
    for (int y = 0; y < c.height; ++y) {
        const std::uint32_t* from = c.layer.get() + (y / c.scale) * kOverlayWidth;
        std::uint32_t* row = c.picture.get() + static_cast<std::size_t>(y) * c.width;
        for (int x = 0; x < c.width; ++x) {
            const std::uint32_t over = from[x / c.scale];
            const std::uint32_t a = over >> 24;
            if (a == 0) continue;
            const std::uint32_t under = row[x];
            std::uint32_t mixed = 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8) {
                const std::uint32_t o = (over >> shift) & 0xFF, u = (under >> shift) & 0xFF;
                mixed |= ((o * a + u * (255 - a) + 127) / 255) << shift;
            }
            row[x] = mixed;
        }
    }
}

void OnFrame(long long frame) {
    Clip& c = g_clip;
    if (frame < c.from || frame >= c.to || !c.failed.empty()) return;
    IDirectDrawSurface* front = PrimarySurface();
    if (!front || !front->palette || front->width != 640 || front->height != 480) {
        c.failed = "the game has no picture to take";
        return;
    }
    std::uint32_t table[256];
    BuildColourTable(front->palette->entries, PixelLayout{}, table);
    Letterbox box;
    box.scale = c.scale;
    ScaleConvert(front->pixels.data(), table, box, c.picture.get(), c.width, c.height, c.width * 4);
    if (g_Options.clipOverlay) {
        ViewerDescribeOverlay(&c.overlay);
        // A clip is watched, not steered: no keys to tell of.
        c.overlay.helpLine[0] = '\0';
        if (DrawOverlayLayer(c.overlay, c.layer.get())) BlendOverlay();
    }
    int frames = 0;
    const std::int16_t* sound = LastFlipMix(&frames);
    if (!ClipAddPicture(c.encoder, c.picture.get(), &c.failed) ||
        !ClipAddSound(c.encoder, sound, frames, &c.failed))
        return;
    ++c.pictures;
}

}  // namespace

bool StartClip(std::string* error) {
    Clip& c = g_clip;
    const long long frames = ViewerFrames();
    c.from = g_Options.clipFrom < 0 ? 0 : g_Options.clipFrom;
    c.to = g_Options.clipTo < 0 || g_Options.clipTo > frames ? frames : g_Options.clipTo;
    if (c.from >= c.to) {
        char why[128];
        std::snprintf(why, sizeof why, "the round lasts %lld.%03lld s, so --from is past its end",
                      frames / 60, frames % 60 * 1000 / 60);
        *error = why;
        return false;
    }
    c.scale = g_Options.clipScale;
    c.width = 640 * c.scale;
    c.height = 480 * c.scale;
    c.picture.reset(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(c.width) * c.height]);
    c.layer.reset(new (std::nothrow) std::uint32_t[kOverlayWidth * kOverlayHeight]);
    if (!c.picture || !c.layer) {
        *error = "not enough memory for the clip's pictures";
        return false;
    }
    c.encoder = OpenClipEncoder(g_Options.clip, c.width, c.height, error);
    if (!c.encoder) return false;
    SetViewerArrival(OnFrame);
    return true;
}

int FinishClip(int playback) {
    Clip& c = g_clip;
    SetViewerArrival(nullptr);
    if (!c.encoder) return playback != 0 ? playback : 2;
    if (playback != 0 || !c.failed.empty() || c.pictures != c.to - c.from) {
        DiscardClipEncoder(c.encoder);
        c.encoder = nullptr;
        if (playback != 0) {
            std::fprintf(stderr, "zumble: no clip: the replay does not verify\n");
            return playback;
        }
        std::fprintf(
            stderr, "zumble: no clip: %s\n",
            c.failed.empty() ? "the round ended before the clip's last frame" : c.failed.c_str());
        return 2;
    }
    std::string why;
    const bool written = CloseClipEncoder(c.encoder, &why);
    c.encoder = nullptr;
    if (!written) {
        std::fprintf(stderr, "zumble: no clip: %s\n", why.c_str());
        return 2;
    }
    std::printf(
        "clip %s: %s, %dx%d, frames %lld to %lld of the round (%lld pictures at 60 a second)\n",
        g_Options.clip.c_str(), ClipFormatName(), c.width, c.height, c.from, c.to - 1, c.pictures);
    return 0;
}
