// Zumble's asset generator: paints the three scene sheets and synthesises the eight
// sounds, byte for byte the same on every run.
//
//   Regenerate the game's data from the repository root with:
//       build/zumble_assets .
//   which writes ./bmp/{title,gamemode,game}.bmp, ./wave/*.wav and the desktop icons
//   ./packaging/icons/zumble-SIZE.png.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tools/bmp_file.h"
#include "tools/icons.h"
#include "tools/palette.h"
#include "tools/png_file.h"
#include "tools/sheets.h"
#include "tools/sounds.h"
#include "tools/wave_file.h"

namespace {

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    if (WriteFileBytes(path, bytes)) return true;
    std::fprintf(stderr, "zumble_assets: cannot write %s\n", path.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zumble_assets OUTDIR\n");
        return 2;
    }
    const std::string out = argv[1];
    ::mkdir((out + "/bmp").c_str(), 0755);
    ::mkdir((out + "/wave").c_str(), 0755);

    const auto colours = pal::SceneColours();
    bool ok = Save(out + "/bmp/title.bmp", EncodeBmp(BuildTitleSheet(), colours));
    ok = Save(out + "/bmp/gamemode.bmp", EncodeBmp(BuildModeSheet(), colours)) && ok;
    ok = Save(out + "/bmp/game.bmp", EncodeBmp(BuildPlaySheet(), colours)) && ok;

    const struct {
        const char* name;
        std::vector<std::int16_t> (*make)();
        // clang-format off
    } sounds[] = {
        {"cry1", MakeBuzz},      {"swing1", MakeSwing},     {"hit1", MakeHit},
        {"button1", MakeButton}, {"ok1", MakeOk},           {"tclick1", MakeLowClick},
        {"tclick2", MakeHighClick}, {"bgm1", MakeMusic},
    };
    // clang-format on
    for (const auto& s : sounds)
        ok = Save(out + "/wave/" + s.name + ".wav", EncodeWave(s.make())) && ok;

    ::mkdir((out + "/packaging").c_str(), 0755);
    ::mkdir((out + "/packaging/icons").c_str(), 0755);
    for (int size : kIconSizes)
        ok = Save(out + "/packaging/icons/zumble-" + std::to_string(size) + ".png",
                  EncodePng(BuildIcon(size), size, size)) &&
             ok;
    return ok ? 0 : 1;
}
