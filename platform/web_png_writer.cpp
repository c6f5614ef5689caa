// Shots in the browser, where there is no libpng: the same RGB PNG as the desktop's
// writer, its picture data in stored (uncompressed) deflate blocks. A shot is for a
// test to read back, so its size does not matter and the code stays a page long.
#include "platform/png_writer.h"

#include <cstdio>
#include <vector>

#include "platform/ddraw.h"

namespace {

std::uint32_t Crc(const std::uint8_t* data, std::size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void Put32(std::vector<std::uint8_t>* out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<std::uint8_t>(v >> shift));
}

void Chunk(std::vector<std::uint8_t>* out, const char* type, const std::vector<std::uint8_t>& body) {
    Put32(out, static_cast<std::uint32_t>(body.size()));
    std::vector<std::uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out->insert(out->end(), typed.begin(), typed.end());
    Put32(out, Crc(typed.data(), typed.size()));
}

}  // namespace

bool WritePalettedPng(const char* path, const std::uint8_t* pixels, int width, int height,
                      const PALETTEENTRY* palette) {
    // The rows as PNG wants them: a filter byte (none), then RGB.
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const PALETTEENTRY& e = palette[pixels[static_cast<std::size_t>(y) * width + x]];
            raw.insert(raw.end(), {e.peRed, e.peGreen, e.peBlue});
        }
    }
    // zlib stream: header, stored blocks of at most 65535 bytes, Adler-32 of the data.
    std::vector<std::uint8_t> z = {0x78, 0x01};
    for (std::size_t at = 0; at < raw.size() || at == 0;) {
        const std::size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        const bool last = at + n == raw.size();
        z.insert(z.end(), {static_cast<std::uint8_t>(last ? 1 : 0), static_cast<std::uint8_t>(n),
                           static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(~n),
                           static_cast<std::uint8_t>(~n >> 8)});
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
        if (last) break;
    }
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    Put32(&z, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    Put32(&header, static_cast<std::uint32_t>(width));
    Put32(&header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, deflate, no filter, no interlace
    Chunk(&png, "IHDR", header);
    Chunk(&png, "IDAT", z);
    Chunk(&png, "IEND", {});
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && written;
}
