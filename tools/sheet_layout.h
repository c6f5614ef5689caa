// Where the scenes cut their pictures from the three sheets (left, top, right, bottom;
// right and bottom exclusive).
#pragma once

struct Rect {
    int left, top, right, bottom;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

namespace play_sheet {
constexpr int kRows = 525;
constexpr Rect kBackground{0, 0, 640, 480};
constexpr Rect kFlyA{0, 480, 19, 500};
constexpr Rect kFlyB{19, 480, 36, 500};
constexpr Rect kBody{36, 480, 59, 503};
constexpr Rect kSwatterDown{123, 480, 139, 512};
constexpr Rect kSwatterUp{139, 480, 157, 510};
constexpr Rect kClockLabel{157, 480, 182, 511};
constexpr Rect kSwatLabel{182, 480, 213, 511};
constexpr Rect kFlyLabel{213, 480, 233, 499};
constexpr Rect kMark[3] = {{233, 480, 253, 499}, {253, 480, 272, 499}, {273, 480, 293, 498}};
constexpr Rect kDebrisA{293, 480, 301, 488};
constexpr Rect kDebrisB{293, 488, 301, 496};
constexpr Rect kBoard{301, 480, 449, 518};
constexpr int kDigitTop = 509;
constexpr int kDigitBottom = 525;
constexpr int kDigitLeft[11] = {0, 11, 17, 26, 37, 48, 57, 68, 78, 89, 100};
constexpr Rect kColon{100, 509, 102, 525};
constexpr Rect kSlash{102, 509, 111, 525};
constexpr Rect kPoint{112, 509, 114, 525};
}  // namespace play_sheet

namespace mode_sheet {
constexpr int kRows = 150;
constexpr Rect kFlies{0, 0, 127, 43};
constexpr Rect kZero{127, 0, 155, 43};
constexpr Rect kOne{155, 0, 170, 43};
constexpr Rect kThree{170, 0, 196, 43};
constexpr Rect kSpeed[4] = {
    {223, 0, 402, 43}, {402, 0, 524, 43}, {0, 43, 218, 88}, {218, 43, 357, 88}};
constexpr Rect kBack{360, 43, 491, 85};
constexpr Rect kStart{0, 88, 292, 132};
constexpr Rect kSwatterDown{292, 88, 308, 120};
constexpr Rect kSwatterUp{308, 88, 326, 118};
constexpr Rect kLeftOn{0, 132, 11, 150};
constexpr Rect kRightOn{11, 132, 22, 150};
constexpr Rect kLeftOff{22, 132, 33, 150};
constexpr Rect kRightOff{33, 132, 44, 150};
constexpr Rect kTile{44, 132, 60, 148};
}  // namespace mode_sheet

namespace title_sheet {
constexpr int kRows = 183;
constexpr Rect kSign{0, 0, 340, 124};
constexpr Rect kTile{0, 132, 16, 148};
constexpr Rect kStart{16, 132, 122, 148};
constexpr Rect kQuit{122, 132, 192, 149};
constexpr Rect kStartLit{192, 132, 302, 151};
constexpr Rect kQuitLit{302, 132, 375, 153};
constexpr Rect kCaption{0, 149, 125, 159};
constexpr int kGlyphTop = 149;
constexpr int kGlyphBottom = 164;
constexpr int kGlyphLeft[9] = {125, 134, 142, 145, 153, 162, 171, 181, 190};
constexpr Rect kFlyA{190, 151, 209, 171};
constexpr Rect kFlyB{209, 151, 226, 171};
constexpr Rect kSwatterDown{226, 151, 242, 183};
constexpr Rect kSwatterUp{242, 151, 260, 181};
}  // namespace title_sheet
