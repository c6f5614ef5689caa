#include "platform/core/display_settings.h"

#include <cstdio>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/options.h"
#include "platform/core/save_file.h"

const char kDisplaySettingsFile[] = "display.ini";

namespace {

constexpr std::size_t kMaxFile = 512;
constexpr int kMaxScale = 16;  // as --scale

// What the file held at the start; nothing is written when the end is the same.
DisplaySettings g_loaded;
bool g_haveLoaded = false;

bool SameText(const char* a, std::size_t n, const char* b) { return std::strlen(b) == n && std::memcmp(a, b, n) == 0; }

// One "key=value" line, without its end.
bool ParseLine(const char* line, std::size_t n, DisplaySettings* s, bool* haveDisplay, bool* haveScale) {
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == ' ')) --n;
    if (n == 0 || line[0] == '#') return true;
    const char* eq = static_cast<const char*>(std::memchr(line, '=', n));
    if (!eq) return false;
    const std::size_t keyLength = static_cast<std::size_t>(eq - line);
    const char* value = eq + 1;
    const std::size_t valueLength = n - keyLength - 1;
    if (SameText(line, keyLength, "display")) {
        if (*haveDisplay) return false;
        *haveDisplay = true;
        if (SameText(value, valueLength, "fullscreen")) s->fullscreen = true;
        else if (SameText(value, valueLength, "window")) s->fullscreen = false;
        else return false;
        return true;
    }
    if (SameText(line, keyLength, "scale")) {
        if (*haveScale || valueLength == 0 || valueLength > 2) return false;
        *haveScale = true;
        int scale = 0;
        for (std::size_t i = 0; i < valueLength; ++i) {
            if (value[i] < '0' || value[i] > '9') return false;
            scale = scale * 10 + (value[i] - '0');
        }
        if (scale < 1 || scale > kMaxScale) return false;
        s->scale = scale;
        return true;
    }
    return false;
}

}  // namespace

bool ParseDisplaySettings(const char* text, std::size_t size, DisplaySettings* out) {
    if (size > kMaxFile) return false;
    DisplaySettings s;
    bool haveDisplay = false, haveScale = false;
    std::size_t start = 0;
    while (start < size) {
        std::size_t end = start;
        while (end < size && text[end] != '\n') {
            if (text[end] == '\0') return false;
            ++end;
        }
        if (!ParseLine(text + start, end - start, &s, &haveDisplay, &haveScale)) return false;
        start = end + 1;
    }
    if (!haveDisplay) return false;
    *out = s;
    return true;
}

std::size_t FormatDisplaySettings(const DisplaySettings& s, char* out, std::size_t capacity) {
    const int n = std::snprintf(out, capacity, "# How Zumble was shown when it was last left.\ndisplay=%s\n",
                                s.fullscreen ? "fullscreen" : "window");
    if (n < 0 || static_cast<std::size_t>(n) >= capacity) return 0;
    if (s.scale < 1) return static_cast<std::size_t>(n);
    const int m = std::snprintf(out + n, capacity - n, "scale=%d\n", s.scale);
    if (m < 0 || static_cast<std::size_t>(n + m) >= capacity) return 0;
    return static_cast<std::size_t>(n + m);
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
}

void RememberDisplay(bool fullscreen, int windowScale) {
    if (!g_Options.rememberDisplay) return;
    DisplaySettings now;
    now.fullscreen = fullscreen;
    now.scale = windowScale >= 1 && windowScale <= kMaxScale ? windowScale : 0;
    if (g_haveLoaded && now.fullscreen == g_loaded.fullscreen && now.scale == g_loaded.scale) return;
    char text[128];
    const std::size_t size = FormatDisplaySettings(now, text, sizeof text);
    if (size == 0) return;
    if (SaveFileReplacing(kDisplaySettingsFile, "display.tmp", text, size)) {
        g_loaded = now;
        g_haveLoaded = true;
    }
}
