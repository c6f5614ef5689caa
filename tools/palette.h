// The one colour set shared by the three scene sheets, so the same sprite looks the
// same in every scene. Index 0 is black (the scenes clear to it), 106 and 255 are the
// see-through pink that the mode-select and the other two scenes key on, and 156 is
// the calm felt green that the mode-select scene clears to.
#pragma once

#include <array>
#include <cstdint>

namespace pal {

constexpr std::uint8_t Black = 0;
constexpr std::uint8_t Outline = 1;
constexpr std::uint8_t Shadow = 2;
constexpr std::uint8_t Grey1 = 3;
constexpr std::uint8_t Grey2 = 4;
constexpr std::uint8_t Grey3 = 5;
constexpr std::uint8_t White = 6;

constexpr std::uint8_t FlyDark = 10;
constexpr std::uint8_t FlyBody = 11;
constexpr std::uint8_t FlyShine = 12;
constexpr std::uint8_t FlyBelly = 13;
constexpr std::uint8_t FlyBellyLight = 14;
constexpr std::uint8_t EyeRed = 15;
constexpr std::uint8_t EyeShine = 16;
constexpr std::uint8_t WingLight = 17;
constexpr std::uint8_t WingMid = 18;
constexpr std::uint8_t WingEdge = 19;

constexpr std::uint8_t WoodSeam = 20;
constexpr std::uint8_t WoodDark = 21;
constexpr std::uint8_t WoodMid = 22;
constexpr std::uint8_t WoodBase = 23;
constexpr std::uint8_t WoodLight = 24;
constexpr std::uint8_t WoodGlint = 25;

constexpr std::uint8_t GutsDark = 30;
constexpr std::uint8_t Guts = 31;
constexpr std::uint8_t GutsLight = 32;
constexpr std::uint8_t StainDark = 33;
constexpr std::uint8_t Stain = 34;
constexpr std::uint8_t StainFaint = 35;

constexpr std::uint8_t PlateDark = 40;
constexpr std::uint8_t Plate = 41;
constexpr std::uint8_t PlateEdge = 42;
constexpr std::uint8_t PlateShine = 43;

constexpr std::uint8_t Cream = 44;
constexpr std::uint8_t Yellow = 45;
constexpr std::uint8_t Gold = 46;
constexpr std::uint8_t Orange = 47;
constexpr std::uint8_t Red = 48;
constexpr std::uint8_t DarkRed = 49;
constexpr std::uint8_t Pink = 50;
constexpr std::uint8_t Brown = 51;

constexpr std::uint8_t GinghamLight = 54;
constexpr std::uint8_t GinghamMid = 55;
constexpr std::uint8_t GinghamDark = 56;

constexpr std::uint8_t FeltDark = 58;
constexpr std::uint8_t FeltLight = 59;

constexpr std::uint8_t GreenDark = 60;
constexpr std::uint8_t Green = 61;
constexpr std::uint8_t GreenLight = 62;
constexpr std::uint8_t BlueDark = 63;
constexpr std::uint8_t Blue = 64;
constexpr std::uint8_t BlueLight = 65;

constexpr std::uint8_t ModeKey = 106;
constexpr std::uint8_t Felt = 156;
constexpr std::uint8_t Key = 255;

struct Rgb {
    std::uint8_t r, g, b;
};

// Unused entries are black.
std::array<Rgb, 256> SceneColours();

}  // namespace pal
