// The backend members that the SDL2 and Windows backends fill alike, written once.
#include "platform/stand_in/backend.h"

std::time_t SystemCalendarTime() { return std::time(nullptr); }

void NothingAfterFlip(long long) {}

void DiscardMix(const std::int16_t*, int) {}
