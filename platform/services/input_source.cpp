#include "platform/services/input_source.h"

namespace {

unsigned g_noted = 0;
unsigned g_wholeRun = 0;
unsigned g_seen = 0;

}  // namespace

void NoteInputSource(unsigned sources) {
    g_noted |= sources;
    g_seen |= sources;
}

unsigned InputSourcesSeen() { return g_seen | g_wholeRun; }
void NoteRunInputSource(unsigned sources) { g_wholeRun |= sources; }

unsigned TakeInputSources() {
    const unsigned taken = g_noted | g_wholeRun;
    g_noted = 0;
    return taken;
}
