// Drawing helpers for hand-built pixel art: filled and outlined shapes, hand-pixelled
// patterns and compositing. Rectangles take exclusive right and bottom edges.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "tools/image.h"

void FillRect(Image& img, int left, int top, int right, int bottom, std::uint8_t colour);
void FrameRect(Image& img, int left, int top, int right, int bottom, std::uint8_t colour);
// Rounded corners cut by a circle of the given radius.
void FillRoundRect(Image& img, int left, int top, int right, int bottom, int radius,
                   std::uint8_t colour);
// Pixel centres within the ellipse around (cx, cy) are filled; half-pixel centres
// give even-sized shapes.
void FillEllipse(Image& img, double cx, double cy, double rx, double ry, std::uint8_t colour);
// The same, turned by `degrees` (clockwise on screen).
void FillTurnedEllipse(Image& img, double cx, double cy, double rx, double ry, double degrees,
                       std::uint8_t colour);
void DrawLine(Image& img, int x0, int y0, int x1, int y1, std::uint8_t colour);
// A line with a round brush of the given radius.
void DrawThickLine(Image& img, double x0, double y0, double x1, double y1, double radius,
                   std::uint8_t colour);

// Every see-through pixel that touches a painted one becomes the outline colour.
// With corners set, diagonal neighbours count too.
void Outline(Image& img, std::uint8_t colour, bool corners);
// Painted pixels lying on one of the listed colours take the matching replacement.
void Recolour(Image& img, std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> map);

// One row per string; each character is looked up in the legend, and '.' or a
// character missing from it leaves the pixel alone.
struct Ink {
    char symbol;
    std::uint8_t colour;
};
void Stamp(Image& img, int x, int y, std::initializer_list<std::string_view> rows,
           std::initializer_list<Ink> legend);

// Copies the painted pixels of src with its top-left corner at (x, y).
void Paste(Image& dst, const Image& src, int x, int y);
// Pastes src centred in the box (left, top, width, height).
void PasteCentred(Image& dst, const Image& src, int left, int top, int width, int height);
// Copies src mirrored left to right.
Image MirrorX(const Image& src);
