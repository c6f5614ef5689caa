#include "platform/services/input_source.h"

namespace {

unsigned g_noted = 0;
unsigned g_wholeRun = 0;

}  // namespace

void NoteInputSource(unsigned sources) { g_noted |= sources; }
void NoteRunInputSource(unsigned sources) { g_wholeRun |= sources; }

unsigned TakeInputSources() {
    const unsigned taken = g_noted | g_wholeRun;
    g_noted = 0;
    return taken;
}
