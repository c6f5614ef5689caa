// Shots as PNG files without a PNG library, for the builds that have none (Windows, the
// browser): RGB rows, each with filter byte 0, in stored (uncompressed) deflate blocks.
// About 0.9 MB a shot; any PNG reader takes it.
#include <cstdio>
#include <vector>

#include "platform/services/png_writer.h"
#include "platform/services/tester_file.h"
#include "platform/stand_in/ddraw.h"
#include "replay/core/crc32.h"

namespace {

std::uint32_t Adler32(const std::uint8_t* data, size_t n) {
    std::uint32_t a = 1, b = 0;
    for (size_t i = 0; i < n; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// One chunk: length, type, data, and the CRC of type and data (the replay library's CRC-32).
void Chunk(std::vector<std::uint8_t>& out, const char* type,
           const std::vector<std::uint8_t>& data) {
    Put32(out, static_cast<std::uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    Put32(out, Crc32(out.data() + start, out.size() - start));
}

// The file of `raw`: the rows, each a filter byte 0 and width * 3 bytes of RGB.
bool WriteRaw(const char* path, const std::vector<std::uint8_t>& raw, int width, int height) {
    // zlib stream: header, stored blocks of at most 65535 bytes, Adler-32 of the data.
    std::vector<std::uint8_t> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        const bool last = at + n == raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back(static_cast<std::uint8_t>(n));
        z.push_back(static_cast<std::uint8_t>(n >> 8));
        z.push_back(static_cast<std::uint8_t>(~n));
        z.push_back(static_cast<std::uint8_t>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(at),
                 raw.begin() + static_cast<long>(at + n));
        at += n;
        if (last) break;
    }
    Put32(z, Adler32(raw.data(), raw.size()));

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    Put32(header, static_cast<std::uint32_t>(width));
    Put32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace
    Chunk(file, "IHDR", header);
    Chunk(file, "IDAT", z);
    Chunk(file, "IEND", {});

    std::FILE* f = OpenTesterFile(path, "wb");
    if (!f) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace

bool WritePalettedPng(const char* path, const std::uint8_t* pixels, int width, int height,
                      const PALETTEENTRY* palette) {
    if (width <= 0 || height <= 0) return false;
    std::vector<std::uint8_t> raw;
    raw.reserve((1 + static_cast<size_t>(width) * 3) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < width; ++x) {
            const PALETTEENTRY& e = palette[pixels[static_cast<size_t>(y) * width + x]];
            raw.push_back(e.peRed);
            raw.push_back(e.peGreen);
            raw.push_back(e.peBlue);
        }
    }
    return WriteRaw(path, raw, width, height);
}

bool WriteArgbPng(const char* path, const std::uint32_t* argb, int width, int height) {
    if (width <= 0 || height <= 0) return false;
    std::vector<std::uint8_t> raw;
    raw.reserve((1 + static_cast<size_t>(width) * 3) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = argb[static_cast<size_t>(y) * width + x];
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
        }
    }
    return WriteRaw(path, raw, width, height);
}
