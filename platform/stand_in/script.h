#pragma once
// The headless input script: one event a line, "FRAME VERB [ARGS]".

#include <string>
#include <vector>

enum class ScriptVerb {
    Move,
    Down,
    Up,
    Click,
    Key,
    Activate,
    Deactivate,
    LoseSurfaces,
    Close,
    Shot
};

struct ScriptEvent {
    long long frame = 0;
    ScriptVerb verb = ScriptVerb::Close;
    int x = 0;         // move
    int y = 0;         // move
    unsigned key = 0;  // key: the virtual-key code
    std::string file;  // shot
};

// Parses a whole script. On a bad line returns false with "script line N: ..." in *error.
bool ParseScript(const std::string& text, std::vector<ScriptEvent>* events, std::string* error);
