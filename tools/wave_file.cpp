#include "tools/wave_file.h"

#include "tools/byte_writer.h"

std::vector<std::uint8_t> EncodeWave(const std::vector<std::int16_t>& samples) {
    const std::uint32_t data_bytes = static_cast<std::uint32_t>(samples.size() * 2);
    ByteWriter out;
    out.Text("RIFF");
    out.U32(4 + (8 + 16) + (8 + data_bytes));
    out.Text("WAVE");
    out.Text("fmt ");
    out.U32(16);
    out.U16(1);  // PCM
    out.U16(1);  // mono
    out.U32(kSampleRate);
    out.U32(kSampleRate * 2);  // bytes per second
    out.U16(2);                // block align
    out.U16(16);               // bits per sample
    out.Text("data");
    out.U32(data_bytes);
    for (std::int16_t s : samples) out.U16(static_cast<std::uint16_t>(s));
    return out.Take();
}
