#pragma once
// Where the loaders' failures go: each is a short code ("ERROR_1", ...) that the game
// survives. The shell points them at its error log (error.txt); until it does, they go
// nowhere.

using LoadReportSink = void (*)(const char* text, int length);
void SetLoadReport(LoadReportSink sink);
// Hands one code to the sink.
void ReportLoadFailure(const char* code);
