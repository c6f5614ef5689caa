#include "platform/services/png_writer.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "platform/services/tester_file.h"
#include "platform/stand_in/ddraw.h"

namespace {

// The rows come from `fill`, which writes row y's width * 3 bytes of red, green and blue.
template <class Fill>
bool WriteRgbPng(const char* path, int width, int height, Fill fill) {
    std::FILE* f = OpenTesterFile(path, "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        fill(y, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace

bool WritePalettedPng(const char* path, const std::uint8_t* pixels, int width, int height,
                      const PALETTEENTRY* palette) {
    return WriteRgbPng(path, width, height, [&](int y, png_byte* row) {
        for (int x = 0; x < width; ++x) {
            const PALETTEENTRY& e = palette[pixels[static_cast<size_t>(y) * width + x]];
            row[x * 3 + 0] = e.peRed;
            row[x * 3 + 1] = e.peGreen;
            row[x * 3 + 2] = e.peBlue;
        }
    });
}

bool WriteArgbPng(const char* path, const std::uint32_t* argb, int width, int height) {
    return WriteRgbPng(path, width, height, [&](int y, png_byte* row) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = argb[static_cast<size_t>(y) * width + x];
            row[x * 3 + 0] = static_cast<png_byte>(p >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(p >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(p);
        }
    });
}
