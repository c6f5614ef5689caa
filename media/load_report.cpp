#include "media/load_report.h"

#include <cstring>

namespace {

LoadReportSink g_sink = nullptr;

}  // namespace

void SetLoadReport(LoadReportSink sink) { g_sink = sink; }

void ReportLoadFailure(const char* code) {
    if (g_sink) g_sink(code, static_cast<int>(std::strlen(code)));
}
