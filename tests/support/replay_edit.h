#pragma once
// Test support: a replay taken apart into its header and frames, changed, and put
// together again with its checksums right, as a crafted file would be. No GoogleTest
// here, so that the replay_craft tool can use it too.

#include <cstdint>
#include <string>
#include <vector>

#include "replay/core/replay_format.h"

struct EditFrame {
    std::uint32_t tick = 0;
    std::vector<ReplayInput> inputs;
};

struct EditReplay {
    ReplayHeader header;
    std::vector<EditFrame> frames;
    std::vector<std::uint32_t> checkpoints;
};

// Reads a file's bytes (false with a reason when the file does not read as a replay).
bool EditDecode(const std::vector<std::uint8_t>& bytes, EditReplay* out, std::string* why);
// The file for the replay: its frames coded again, the frame count, input size, and both
// checksums made right. Checkpoints missing from the list are written as 0.
std::vector<std::uint8_t> EditEncode(const EditReplay& replay);

// Inputs for building rounds by hand.
ReplayInput EditCursor(int x, int y);
ReplayInput EditMessage(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);
ReplayInput EditBreak();
std::int64_t EditAt(int x, int y);  // a button message's lParam for (x, y)
// A button press and release at (x, y).
ReplayInput EditDown(int x, int y);
ReplayInput EditUp(int x, int y);

// The steady headless tick of a flip: floor(flip * 1000 / 60).
std::uint32_t EditSteadyTick(std::uint32_t flip);
// count frames with steady ticks from the header's start flip, and no input.
std::vector<EditFrame> EditSteadyFrames(const ReplayHeader& header, int count);

// Sets the header's program text (at most 16 bytes, zero padded) and fixes the CRC of
// a file's bytes in place; the rest of the file is left byte for byte.
void EditSetProgram(std::vector<std::uint8_t>* bytes, const std::string& text);
void EditSetFlags(std::vector<std::uint8_t>* bytes, std::uint32_t flags);
void EditSetCalendar(std::vector<std::uint8_t>* bytes, std::uint32_t seconds);
void EditFixCrc(std::vector<std::uint8_t>* bytes);
