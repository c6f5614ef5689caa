#include "shell/driver/clip_run.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/services/clip_encoder.h"
#include "platform/services/options.h"
#include "platform/services/overlay_draw.h"
#include "platform/services/png_writer.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/ddraw.h"
#include "platform/stand_in/scale_convert.h"
#include "platform/stand_in/sound_mixer.h"
#include "replay/replay_viewer.h"
#include "scenes/play.h"
#include "scenes/scene_globals.h"

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
    // The caption's band: its first row, and the layer it makes alone (no viewer's
    // overlay: the same for every frame, drawn once).
    int captionTop = 0;
    bool captionAlone = false;
    // A still (OUT.png): the frame kept so far, the last of the range that shows the
    // round's clock (else the range's last), as the game drew it.
    bool still = false;
    bool keptClock = false;
    long long keptFrame = -1;
    std::unique_ptr<std::uint8_t[]> kept;
    PALETTEENTRY keptPalette[256];
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

// The picture at the clip's scale from an 8-bit frame, with the overlays over it:
// the viewer's (as described for the frame) and the caption.
void MakePicture(const std::uint8_t* pixels, const PALETTEENTRY* palette) {
    Clip& c = g_clip;
    std::uint32_t table[256];
    BuildColourTable(palette, PixelLayout{}, table);
    Letterbox box;
    box.scale = c.scale;
    ScaleConvert(pixels, table, box, c.picture.get(), c.width, c.height, c.width * 4);
    bool layered = c.captionAlone;
    if (g_Options.clipOverlay) {
        // A clip is watched, not steered: no keys to tell of.
        c.overlay.helpLine[0] = '\0';
        layered = DrawOverlayLayer(c.overlay, c.layer.get());
        if (!g_Options.clipCaption.empty()) {
            DrawCaptionBand(g_Options.clipCaption.c_str(), c.captionTop, c.layer.get());
            layered = true;
        }
    }
    if (layered) BlendOverlay();
}

// The game draws the round's clock in the frame just shown (the results board blinks it).
bool ClockInFrame() { return SceneState == STATE_PLAY_FRAME && ClockShown(); }

void OnFrame(long long frame) {
    Clip& c = g_clip;
    if (frame < c.from || frame >= c.to || !c.failed.empty()) return;
    IDirectDrawSurface* front = PrimarySurface();
    if (!front || !front->palette || front->width != 640 || front->height != 480) {
        c.failed = "the game has no picture to take";
        return;
    }
    if (c.still) {
        // Kept as drawn; made into the picture once, at the end.
        const bool clock = ClockInFrame();
        if (c.keptClock && !clock) return;
        if (g_Options.clipOverlay) ViewerDescribeOverlay(&c.overlay);
        c.keptClock = clock;
        c.keptFrame = frame;
        std::memcpy(c.kept.get(), front->pixels.data(), 640 * 480);
        std::memcpy(c.keptPalette, front->palette->entries, sizeof c.keptPalette);
        ++c.pictures;
        return;
    }
    if (g_Options.clipOverlay) ViewerDescribeOverlay(&c.overlay);
    MakePicture(front->pixels.data(), front->palette->entries);
    int frames = 0;
    const std::int16_t* sound = LastFlipMix(&frames);
    if (!ClipAddPicture(c.encoder, c.picture.get(), &c.failed) ||
        !ClipAddSound(c.encoder, sound, frames, &c.failed))
        return;
    ++c.pictures;
}

bool EndsWith(const std::string& text, const char* end) {
    const std::size_t n = std::strlen(end);
    if (text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if ((text[text.size() - n + i] | 0x20) != end[i]) return false;
    return true;
}

// The still's picture, written beside its name and then named, so that nothing is at
// the name until it is whole.
bool WriteStill(std::string* why) {
    Clip& c = g_clip;
    MakePicture(c.kept.get(), c.keptPalette);
    const std::string partial = g_Options.clip + ".partial";
    if (!WriteArgbPng(partial.c_str(), c.picture.get(), c.width, c.height) ||
        !ReplaceTesterFile(partial.c_str(), g_Options.clip.c_str())) {
        std::remove(partial.c_str());
        *why = "cannot write " + partial;
        return false;
    }
    return true;
}

int FinishStill(int playback) {
    Clip& c = g_clip;
    std::string why = c.failed;
    if (playback != 0) {
        std::fprintf(stderr, "zumble: no still: the replay does not verify\n");
        return playback;
    }
    if (why.empty() && c.keptFrame < 0) why = "the round ended before the still's range";
    if (!why.empty() || !WriteStill(&why)) {
        std::fprintf(stderr, "zumble: no still: %s\n", why.c_str());
        return 2;
    }
    std::printf("still %s: PNG, %dx%d, frame %lld of the round (%s)\n", g_Options.clip.c_str(),
                c.width, c.height, c.keptFrame,
                c.keptClock ? "the last that shows the clock" : "no frame shows the clock");
    return 0;
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
    c.still = EndsWith(g_Options.clip, ".png");
    c.picture.reset(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(c.width) * c.height]);
    c.layer.reset(new (std::nothrow) std::uint32_t[kOverlayWidth * kOverlayHeight]);
    if (c.still) c.kept.reset(new (std::nothrow) std::uint8_t[640 * 480]);
    if (!c.picture || !c.layer || (c.still && !c.kept)) {
        *error = "not enough memory for the clip's pictures";
        return false;
    }
    // The caption sits at the foot, above the viewer's bar when that is drawn too.
    c.captionTop = (g_Options.clipOverlay ? kOverlayBottomTop : kOverlayHeight) - kCaptionRows;
    if (!g_Options.clipCaption.empty() && !g_Options.clipOverlay) {
        std::fill(c.layer.get(), c.layer.get() + kOverlayWidth * kOverlayHeight, 0u);
        DrawCaptionBand(g_Options.clipCaption.c_str(), c.captionTop, c.layer.get());
        c.captionAlone = true;
    }
    if (!c.still) {
        c.encoder = OpenClipEncoder(g_Options.clip, c.width, c.height, error);
        if (!c.encoder) return false;
    }
    SetViewerArrival(OnFrame);
    return true;
}

int FinishClip(int playback) {
    Clip& c = g_clip;
    SetViewerArrival(nullptr);
    if (c.still) return FinishStill(playback);
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
