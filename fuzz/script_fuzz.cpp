// Scripts and command lines of any content: parsed or refused with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/services/options.h"
#include "platform/stand_in/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptEvent> events;
    std::string error;
    if (!ParseScript(text, &events, &error) && error.empty()) std::abort();

    // The same bytes as a command line, one argument a line.
    std::vector<std::string> words = {"zumble"};
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\n') {
            words.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    std::vector<char*> argv;
    for (auto& w : words)
        if (w != "--help" && w != "-h" && w != "--version") argv.push_back(w.data());
    Options options;
    error.clear();
    if (ParseOptions(static_cast<int>(argv.size()), argv.data(), &options, &error) == 2 &&
        error.empty())
        std::abort();
    return 0;
}
