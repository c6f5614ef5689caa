#include "replay/core/swat_frames.h"

namespace {

const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int DigitValue(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

}  // namespace

std::string SwatFramesText(const std::uint32_t* frames, std::size_t count) {
    if (count == 0) return "-";
    std::string out;
    out.reserve(count * 2);
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t step = frames[i] - last;
        last = frames[i];
        do {
            const std::uint32_t low = step & 31;
            step >>= 5;
            out += kDigits[low | (step ? 32 : 0)];
        } while (step);
    }
    return out;
}

bool ReadSwatFrames(const std::string& text, std::size_t most, std::vector<std::uint32_t>* frames) {
    frames->clear();
    if (text == "-") return true;
    if (text.empty()) return false;
    std::uint64_t at = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint64_t step = 0;
        int shift = 0;
        for (;;) {
            if (i == text.size() || shift > 30) return frames->clear(), false;
            const int digit = DigitValue(text[i++]);
            if (digit < 0) return frames->clear(), false;
            step |= static_cast<std::uint64_t>(digit & 31) << shift;
            shift += 5;
            if (!(digit & 32)) {
                // A last digit of 0 after others is a longer writing of a shorter number.
                if (digit == 0 && shift > 5) return frames->clear(), false;
                break;
            }
        }
        at += step;
        if (at > 0xFFFFFFFFu || frames->size() == most) return frames->clear(), false;
        frames->push_back(static_cast<std::uint32_t>(at));
    }
    return true;
}

bool SwatsWithin(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b,
                 std::uint32_t slack) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const std::uint32_t gap = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
        if (gap > slack) return false;
    }
    return true;
}
