#pragma once
// Collects the failures the game survives and writes them to "error.txt" at exit.

#include "platform/stand_in/win32.h"

#include <cstdio>

class ErrorLog {
public:
    explicit ErrorLog(int flags);
    ~ErrorLog();
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    int Add(const char* text, int length);

    // Writes the log to the given path now (the destructor writes "error.txt").
    void WriteTo(const char* path);
    int Count() const { return count; }

private:
    int WriteLine(const char* text, int length);
    int WriteLineBreaks(int n);

    char messages[256][256];
    signed char lengths[256];
    int count;
    int BannerEnabled;
    int SeparatorsEnabled;
    std::FILE* out;
    char lineBreak[2];
};

extern ErrorLog errorLog;

// Adds to errorLog: where the shell sends the loaders' failures (media/load_report.h).
void AddToErrorLog(const char* text, int length);
