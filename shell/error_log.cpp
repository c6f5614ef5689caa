// The error log: failures the game survives, written to "error.txt" at exit.
#include "shell/error_log.h"

#include <cstring>

#include "platform/services/files.h"

// Built first of all the game's statics, so that it is torn down last, after the object
// pools, and the file is the very last thing the program writes.
__attribute__((init_priority(101))) ErrorLog errorLog(0);

void AddToErrorLog(const char* text, int length) { errorLog.Add(text, length); }

namespace {

const char kStars[] = "******************************";
const char kTitle[] = "  Error File Write  Ver1.0    ";
const char kThird[] = "     Zumble error report      ";
const char kDashes[] = "------------------------------";

}  // namespace

ErrorLog::ErrorLog(int flags)
    : count(0),
      BannerEnabled((flags & 1) ? 0 : 1),
      SeparatorsEnabled((flags & 2) ? 0 : 1),
      out(nullptr) {
    lineBreak[0] = '\r';
    lineBreak[1] = '\n';
}

ErrorLog::~ErrorLog() { WriteTo("error.txt"); }

int ErrorLog::Add(const char* text, int length) {
    if (count >= 256) return 0;
    // Messages are at most 127 bytes: the length is kept in a signed byte.
    if (length < 0) length = 0;
    if (length > 127) length = 127;
    std::memcpy(messages[count], text, static_cast<size_t>(length));
    lengths[count] = static_cast<signed char>(length);
    ++count;
    return 1;
}

int ErrorLog::WriteLine(const char* text, int length) {
    if (std::fwrite(text, 1, static_cast<size_t>(length), out) != static_cast<size_t>(length))
        return 0;
    return std::fwrite(lineBreak, 1, 2, out) == 2 ? 1 : 0;
}

int ErrorLog::WriteLineBreaks(int n) {
    for (int i = 0; i < n; ++i)
        if (std::fwrite(lineBreak, 1, 2, out) != 2) return 0;
    return 1;
}

void ErrorLog::WriteTo(const char* path) {
    out = OpenGamePath(path, "wb");
    if (!out) return;
    // Unbuffered, so that a failed write shows at once and stops the messages there.
    std::setvbuf(out, nullptr, _IONBF, 0);
    if (BannerEnabled) {
        WriteLine(kStars, 30);
        WriteLine(kTitle, 30);
        WriteLine(kThird, 30);
        WriteLine(kStars, 30);
        WriteLineBreaks(3);
        WriteLine("Write Start", 11);
        WriteLine(kDashes, 30);
        WriteLineBreaks(1);
    }
    for (int i = 0; i < count; ++i) {
        const size_t n = static_cast<size_t>(lengths[i]);
        if (std::fwrite(messages[i], 1, n, out) != n ||
            (SeparatorsEnabled && std::fwrite(lineBreak, 1, 2, out) != 2)) {
            std::fclose(out);
            out = nullptr;
            return;
        }
    }
    if (BannerEnabled) {
        WriteLineBreaks(1);
        if (count == 0) WriteLine("Not Erorr", 9);
        WriteLine(kDashes, 30);
        WriteLine("Write End", 9);
    }
    std::fclose(out);
    out = nullptr;
}
