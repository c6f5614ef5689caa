#include "tools/bmp_file.h"

#include <cstdio>

#include "tools/byte_writer.h"

std::vector<std::uint8_t> EncodeBmp(const Image& sheet, const std::array<pal::Rgb, 256>& colours) {
    const std::uint32_t header_bytes = 14 + 40 + 256 * 4;
    const std::uint32_t pixel_bytes =
        static_cast<std::uint32_t>(sheet.Width()) * static_cast<std::uint32_t>(sheet.Height());
    ByteWriter out;
    out.Text("BM");
    out.U32(header_bytes + pixel_bytes);
    out.U32(0);  // reserved
    out.U32(header_bytes);
    out.U32(40);
    out.U32(static_cast<std::uint32_t>(sheet.Width()));
    out.U32(static_cast<std::uint32_t>(sheet.Height()));  // positive: bottom-up rows
    out.U16(1);                                           // planes
    out.U16(8);                                           // bits per pixel
    out.U32(0);                                           // no compression
    out.U32(pixel_bytes);
    out.U32(2835);  // 72 dots per inch, both ways
    out.U32(2835);
    out.U32(256);  // colours used
    out.U32(0);    // all important
    for (const pal::Rgb& c : colours) {
        out.U8(c.b);
        out.U8(c.g);
        out.U8(c.r);
        out.U8(0);
    }
    for (int y = sheet.Height() - 1; y >= 0; --y)
        for (int x = 0; x < sheet.Width(); ++x) out.U8(sheet.At(x, y));
    return out.Take();
}

bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}
