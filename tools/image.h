// An 8-bit indexed picture with its own see-through index, the canvas that every
// sheet and sprite of the game is painted on.
#pragma once

#include <cstdint>
#include <vector>

class Image {
public:
    Image(int width, int height, std::uint8_t key);

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint8_t Key() const { return key_; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    // Reads outside the picture give the key, so edge tests need no special cases.
    std::uint8_t At(int x, int y) const;
    bool Opaque(int x, int y) const { return At(x, y) != key_; }
    // Writes outside the picture are dropped: shapes may hang over the border.
    void Set(int x, int y, std::uint8_t colour);

    const std::vector<std::uint8_t>& Pixels() const { return pixels_; }

private:
    int width_;
    int height_;
    std::uint8_t key_;
    std::vector<std::uint8_t> pixels_;
};
