#pragma once
// The files a tester names on the command line (--script, --trace, --sound-log,
// --audio-out and a script's shots). Their paths are UTF-8 on every system, as the
// command line gives them.

#include <cstdio>
#include <string>

// The path made absolute from the current folder, still in UTF-8; unchanged when it
// cannot be.
std::string AbsoluteTesterPath(const std::string& path);

// fopen for one of those files, whatever characters its path holds.
std::FILE* OpenTesterFile(const char* path, const char* mode);

// Puts the file `from` at `to` in one step, over what `to` held (a still written beside
// its name, then named); false when it cannot.
bool ReplaceTesterFile(const char* from, const char* to);

// Opens one of those files to read it (a replay): only a plain file. A folder, a device
// or a named pipe is refused at once ("not a regular file"), without waiting for a
// writer; otherwise null comes with "cannot open it: " and the system's reason.
std::FILE* OpenTesterFileToRead(const char* path, std::string* why);

// Reads a whole file (the script). False for what is not a plain file: a folder would
// read as nothing, a named pipe would block until somebody writes to it.
bool ReadTesterFile(const std::string& path, std::string* text);

// The rest of an open file into `text`, closing it; false on a read error. The one read
// that every platform's ReadTesterFile ends with.
inline bool ReadAndCloseTesterFile(std::FILE* file, std::string* text) {
    text->clear();
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}
