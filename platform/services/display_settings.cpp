#include "platform/services/display_settings.h"

#include <cstdio>
#include <cstring>

#include "platform/services/files.h"
#include "platform/services/master_volume.h"
#include "platform/services/options.h"
#include "platform/services/save_file.h"

const char kDisplaySettingsFile[] = "display.ini";

namespace {

constexpr std::size_t kMaxFile = 512;
constexpr int kMaxScale = 16;  // as --scale

// What the file held at the start; nothing is written when the end is the same.
DisplaySettings g_loaded;
bool g_haveLoaded = false;

bool SameText(const char* a, std::size_t n, const char* b) {
    return std::strlen(b) == n && std::memcmp(a, b, n) == 0;
}

// A whole number of 1..4 digits within [low, high].
bool ParseNumber(const char* value, std::size_t n, int low, int high, int* out) {
    if (n == 0 || n > 4) return false;
    int v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
        v = v * 10 + (value[i] - '0');
    }
    if (v < low || v > high) return false;
    *out = v;
    return true;
}

// The keys seen so far: each may come once.
struct Seen {
    bool display = false, scale = false, speed = false, deadZone = false, precision = false,
         volume = false, muted = false, splits = false;
};

// A numeric key's value, once.
bool ParseKeyNumber(const char* value, std::size_t n, int low, int high, bool* seen, int* out) {
    if (*seen) return false;
    *seen = true;
    return ParseNumber(value, n, low, high, out);
}

// A key of two words, the first meaning true, once in the file.
bool ParseKeyChoice(const char* value, std::size_t n, const char* yes, const char* no, bool* seen,
                    bool* out) {
    if (*seen) return false;
    *seen = true;
    if (SameText(value, n, yes))
        *out = true;
    else if (SameText(value, n, no))
        *out = false;
    else
        return false;
    return true;
}

// One "key=value" line, without its end.
bool ParseLine(const char* line, std::size_t n, DisplaySettings* s, Seen* seen) {
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == ' ')) --n;
    if (n == 0 || line[0] == '#') return true;
    const char* eq = static_cast<const char*>(std::memchr(line, '=', n));
    if (!eq) return false;
    const std::size_t keyLength = static_cast<std::size_t>(eq - line);
    const char* value = eq + 1;
    const std::size_t valueLength = n - keyLength - 1;
    if (SameText(line, keyLength, "display"))
        return ParseKeyChoice(value, valueLength, "fullscreen", "window", &seen->display,
                              &s->fullscreen);
    if (SameText(line, keyLength, "scale")) {
        // Two digits at most, as it always was written.
        return valueLength <= 2 &&
               ParseKeyNumber(value, valueLength, 1, kMaxScale, &seen->scale, &s->scale);
    }
    if (SameText(line, keyLength, "splits"))
        return ParseKeyChoice(value, valueLength, "on", "off", &seen->splits, &s->splits);
    if (SameText(line, keyLength, "pad-speed"))
        return ParseKeyNumber(value, valueLength, kPadSpeedMin, kPadSpeedMax, &seen->speed,
                              &s->pad.speed);
    if (SameText(line, keyLength, "pad-dead-zone"))
        return ParseKeyNumber(value, valueLength, kPadDeadZoneMin, kPadDeadZoneMax, &seen->deadZone,
                              &s->pad.deadZone);
    if (SameText(line, keyLength, "pad-precision"))
        return ParseKeyNumber(value, valueLength, kPadPrecisionMin, kPadPrecisionMax,
                              &seen->precision, &s->pad.precision);
    if (SameText(line, keyLength, "volume"))
        return ParseKeyNumber(value, valueLength, 0, kMasterVolumeMax, &seen->volume, &s->volume);
    if (SameText(line, keyLength, "mute")) {
        int muted = 0;
        if (!ParseKeyNumber(value, valueLength, 0, 1, &seen->muted, &muted)) return false;
        s->muted = muted == 1;
        return true;
    }
    return false;
}

}  // namespace

bool ParseDisplaySettings(const char* text, std::size_t size, DisplaySettings* out) {
    if (size > kMaxFile) return false;
    DisplaySettings s;
    Seen seen;
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && text[end] != '\n') {
            if (text[end] == '\0') return false;
            ++end;
        }
        if (!ParseLine(text + start, end - start, &s, &seen)) return false;
        start = end + 1;
    }
    if (!seen.display) return false;
    *out = s;
    return true;
}

std::size_t FormatDisplaySettings(const DisplaySettings& s, char* out, std::size_t capacity) {
    std::size_t used = 0;
    // Appends one line; false when it does not fit.
    auto put = [&](const char* key, const char* text, int number) {
        const int n = text ? std::snprintf(out + used, capacity - used, "%s=%s\n", key, text)
                           : std::snprintf(out + used, capacity - used, "%s=%d\n", key, number);
        if (n < 0 || static_cast<std::size_t>(n) >= capacity - used) return false;
        used += static_cast<std::size_t>(n);
        return true;
    };
    if (capacity == 0) return 0;
    const int n = std::snprintf(out, capacity, "# How Zumble was shown when it was last left.\n");
    if (n < 0 || static_cast<std::size_t>(n) >= capacity) return 0;
    used = static_cast<std::size_t>(n);
    const PadSettings defaults;
    bool fits = put("display", s.fullscreen ? "fullscreen" : "window", 0);
    if (fits && s.scale >= 1) fits = put("scale", nullptr, s.scale);
    if (fits && s.pad.speed != defaults.speed) fits = put("pad-speed", nullptr, s.pad.speed);
    if (fits && s.pad.deadZone != defaults.deadZone)
        fits = put("pad-dead-zone", nullptr, s.pad.deadZone);
    if (fits && s.pad.precision != defaults.precision)
        fits = put("pad-precision", nullptr, s.pad.precision);
    if (fits && s.volume != kMasterVolumeMax) fits = put("volume", nullptr, s.volume);
    if (fits && s.muted) fits = put("mute", nullptr, 1);
    if (fits && !s.splits) fits = put("splits", "off", 0);
    return fits ? used : 0;
}

void UseSavedDisplay(Options* o) {
    o->rememberDisplay = true;
    g_haveLoaded = false;
    std::FILE* file = OpenGamePath(kDisplaySettingsFile, "rb");
    if (!file) return;
    char text[kMaxFile + 1];
    const std::size_t size = std::fread(text, 1, sizeof text, file);
    const bool readWell = !std::ferror(file);
    std::fclose(file);
    DisplaySettings saved;
    if (!readWell || !ParseDisplaySettings(text, size, &saved)) return;
    g_loaded = saved;
    g_haveLoaded = true;
    if (!o->window && !o->fullscreen) o->window = !saved.fullscreen;
    o->savedScale = saved.scale;
    if (!o->padSpeedGiven) o->pad.speed = saved.pad.speed;
    if (!o->padDeadZoneGiven) o->pad.deadZone = saved.pad.deadZone;
    if (!o->padPrecisionGiven) o->pad.precision = saved.pad.precision;
    // A volume on the command line says how loud this run is: it is heard.
    if (!o->volumeGiven) {
        o->volume = saved.volume;
        o->muted = saved.muted;
    }
    if (!o->splitsGiven) o->splits = saved.splits;
}

void RememberDisplay(bool fullscreen, int windowScale) {
    if (!g_Options.rememberDisplay) return;
    DisplaySettings now;
    now.fullscreen = fullscreen;
    now.scale = windowScale >= 1 && windowScale <= kMaxScale ? windowScale : 0;
    now.pad = g_Options.pad;
    now.volume = MasterVolumePercent();
    now.muted = MasterMuted();
    now.splits = g_Options.splits;
    if (g_haveLoaded && now.fullscreen == g_loaded.fullscreen && now.scale == g_loaded.scale &&
        now.pad == g_loaded.pad && now.volume == g_loaded.volume && now.muted == g_loaded.muted &&
        now.splits == g_loaded.splits)
        return;
    char text[256];
    const std::size_t size = FormatDisplaySettings(now, text, sizeof text);
    if (size == 0) return;
    if (SaveFileReplacing(kDisplaySettingsFile, "display.tmp", text, size)) {
        g_loaded = now;
        g_haveLoaded = true;
    }
}
