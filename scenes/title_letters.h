#pragma once
// The twelve small letters near the title's bottom right corner: where each one lives
// and which glyph of the title sheet it shows. Letters 1..12 are entries 0..11.

struct TitleLetter {
    int homeX;
    int left, top, right, bottom;  // glyph rectangle in the title sheet
};

constexpr int kLetterHomeY = 446;

// Two groups, letters 1-5 and 6-12, with one empty place (x 522) between them.
// Letters 9-12 reuse glyphs of letters 5, 2, 5 and 3.
// clang-format off
constexpr TitleLetter kTitleLetters[12] = {
    {462, 125, 149, 134, 164}, {474, 134, 149, 142, 164}, {486, 142, 149, 145, 164},
    {498, 145, 149, 153, 164}, {510, 153, 149, 162, 164}, {534, 162, 149, 171, 164},
    {546, 171, 149, 181, 164}, {558, 181, 149, 190, 164}, {570, 153, 149, 162, 164},
    {582, 134, 149, 142, 164}, {594, 153, 149, 162, 164}, {606, 142, 149, 145, 164},
};
// clang-format on
