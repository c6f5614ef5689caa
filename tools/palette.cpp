#include "tools/palette.h"

namespace pal {

std::array<Rgb, 256> SceneColours() {
    std::array<Rgb, 256> c{};
    c[Outline] = {32, 22, 26};
    c[Shadow] = {62, 48, 54};
    c[Grey1] = {98, 94, 102};
    c[Grey2] = {142, 140, 148};
    c[Grey3] = {192, 190, 196};
    c[White] = {252, 250, 244};

    c[FlyDark] = {30, 32, 40};
    c[FlyBody] = {58, 62, 76};
    c[FlyShine] = {112, 120, 142};
    c[FlyBelly] = {150, 146, 126};
    c[FlyBellyLight] = {200, 194, 166};
    c[EyeRed] = {184, 36, 30};
    c[EyeShine] = {250, 128, 100};
    c[WingLight] = {226, 240, 252};
    c[WingMid] = {172, 200, 226};
    c[WingEdge] = {104, 130, 164};

    c[WoodSeam] = {110, 64, 34};
    c[WoodDark] = {152, 96, 52};
    c[WoodMid] = {186, 126, 72};
    c[WoodBase] = {204, 146, 88};
    c[WoodLight] = {220, 166, 106};
    c[WoodGlint] = {234, 188, 132};

    c[GutsDark] = {70, 84, 28};
    c[Guts] = {118, 134, 44};
    c[GutsLight] = {170, 178, 72};
    c[StainDark] = {134, 112, 50};
    c[Stain] = {162, 122, 64};
    c[StainFaint] = {184, 132, 78};

    c[PlateDark] = {34, 42, 52};
    c[Plate] = {50, 60, 74};
    c[PlateEdge] = {94, 106, 124};
    c[PlateShine] = {136, 150, 168};

    c[Cream] = {255, 244, 208};
    c[Yellow] = {255, 214, 72};
    c[Gold] = {230, 160, 40};
    c[Orange] = {226, 110, 34};
    c[Red] = {206, 50, 42};
    c[DarkRed] = {124, 26, 30};
    c[Pink] = {248, 152, 140};
    c[Brown] = {96, 58, 36};

    c[GinghamLight] = {250, 247, 236};
    c[GinghamMid] = {214, 230, 244};
    c[GinghamDark] = {172, 202, 234};

    c[FeltDark] = {22, 56, 62};
    c[Felt] = {30, 72, 80};
    c[FeltLight] = {40, 88, 96};

    c[GreenDark] = {28, 96, 40};
    c[Green] = {62, 160, 62};
    c[GreenLight] = {136, 214, 104};
    c[BlueDark] = {30, 58, 120};
    c[Blue] = {60, 108, 190};
    c[BlueLight] = {130, 170, 232};

    c[ModeKey] = {255, 106, 255};
    c[Key] = {255, 106, 255};
    return c;
}

}  // namespace pal
