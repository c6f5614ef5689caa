#include "platform/stand_in/input_tap.h"

namespace {

const InputTap* g_tap = nullptr;
const InputFeed* g_feed = nullptr;

}  // namespace

void SetInputTap(const InputTap* tap) { g_tap = tap; }
void SetInputFeed(const InputFeed* feed) { g_feed = feed; }
const InputTap* ActiveInputTap() { return g_tap; }
const InputFeed* ActiveInputFeed() { return g_feed; }
