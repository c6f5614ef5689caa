#include "platform/stand_in/script.h"

#include "platform/stand_in/win32.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace {

bool ParseInt(const std::string& word, long long low, long long high, long long* out) {
    if (word.empty() || word.size() > 18) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(word.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *out = v;
    return true;
}

bool Fail(std::string* error, int line, const std::string& what) {
    *error = "script line " + std::to_string(line) + ": " + what;
    return false;
}

}  // namespace

bool ParseScript(const std::string& text, std::vector<ScriptEvent>* events, std::string* error) {
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    long long lastFrame = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        const auto hash = raw.find('#');
        if (hash != std::string::npos) raw.erase(hash);
        std::istringstream words(raw);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) continue;
        ScriptEvent ev;
        if (!ParseInt(w[0], 0, 1000000000000LL, &ev.frame))
            return Fail(error, lineNo, "bad frame number '" + w[0] + "'");
        if (ev.frame < lastFrame)
            return Fail(error, lineNo,
                        "frame " + w[0] + " comes before frame " + std::to_string(lastFrame));
        lastFrame = ev.frame;
        if (w.size() < 2) return Fail(error, lineNo, "missing verb");
        const std::string& verb = w[1];
        size_t wantArgs = 0;
        if (verb == "move") {
            ev.verb = ScriptVerb::Move;
            wantArgs = 2;
            long long x = 0, y = 0;
            if (w.size() != 4) return Fail(error, lineNo, "move takes X and Y");
            if (!ParseInt(w[2], 0, 639, &x))
                return Fail(error, lineNo, "move X '" + w[2] + "' is not 0..639");
            if (!ParseInt(w[3], 0, 479, &y))
                return Fail(error, lineNo, "move Y '" + w[3] + "' is not 0..479");
            ev.x = static_cast<int>(x);
            ev.y = static_cast<int>(y);
        } else if (verb == "down") {
            ev.verb = ScriptVerb::Down;
        } else if (verb == "up") {
            ev.verb = ScriptVerb::Up;
        } else if (verb == "click") {
            ev.verb = ScriptVerb::Click;
        } else if (verb == "key") {
            ev.verb = ScriptVerb::Key;
            wantArgs = 1;
            if (w.size() != 3)
                return Fail(error, lineNo, "key takes one of return, space, escape, r");
            if (w[2] == "return")
                ev.key = VK_RETURN;
            else if (w[2] == "space")
                ev.key = VK_SPACE;
            else if (w[2] == "escape")
                ev.key = VK_ESCAPE;
            else if (w[2] == "r")
                ev.key = 'R';
            else
                return Fail(error, lineNo, "unknown key '" + w[2] + "'");
        } else if (verb == "activate") {
            ev.verb = ScriptVerb::Activate;
        } else if (verb == "deactivate") {
            ev.verb = ScriptVerb::Deactivate;
        } else if (verb == "lose-surfaces") {
            ev.verb = ScriptVerb::LoseSurfaces;
        } else if (verb == "close") {
            ev.verb = ScriptVerb::Close;
        } else if (verb == "shot") {
            ev.verb = ScriptVerb::Shot;
            wantArgs = 1;
            if (w.size() != 3) return Fail(error, lineNo, "shot takes one FILE.png");
            ev.file = w[2];
        } else {
            return Fail(error, lineNo, "unknown verb '" + verb + "'");
        }
        if (w.size() != 2 + wantArgs)
            return Fail(error, lineNo,
                        verb + " takes " + std::to_string(wantArgs) + " argument(s)");
        events->push_back(ev);
    }
    return true;
}
