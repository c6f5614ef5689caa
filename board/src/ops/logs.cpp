#include "ops/logs.h"

#include <sys/random.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

namespace board {

namespace {

std::atomic<bool> g_log_json{false};
std::atomic<bool> g_log_access{false};

// "2026-12-10T00:40:01.123Z"
std::string LogNow() {
  auto now = std::chrono::system_clock::now();
  time_t seconds = std::chrono::system_clock::to_time_t(now);
  int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  tm parts{};
  gmtime_r(&seconds, &parts);
  char text[40];
  size_t n = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  snprintf(text + n, sizeof text - n, ".%03dZ", ms);
  return text;
}

// A client's text in a text line: printable ASCII but '"' and '\', at most `limit` bytes;
// anything else as %XX, so no line can be forged or broken by what a client sent.
std::string LogPlain(const std::string& text, size_t limit) {
  std::string out;
  for (unsigned char c : text) {
    if (out.size() >= limit) {
      out += "...";
      break;
    }
    if (c > 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '%') {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out.empty() ? "-" : out;
}

// The board's own sentences in a text line: control bytes as '?'.
std::string LogSentence(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

// One whole line in one write, so that lines from several threads never mix.
void LogEmit(const std::string& line) {
  std::string whole = line + "\n";
  fwrite(whole.data(), 1, whole.size(), stderr);
}

void LogEmitJson(const nlohmann::ordered_json& fields) {
  // Bytes that are not UTF-8 (a client's path) become U+FFFD rather than failing.
  LogEmit(fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

}  // namespace

bool ParseLogFormat(const std::string& text, LogFormat* out) {
  if (text == "text")
    *out = LogFormat::kText;
  else if (text == "json")
    *out = LogFormat::kJson;
  else
    return false;
  return true;
}

void SetLogFormat(LogFormat format) { g_log_json = format == LogFormat::kJson; }
void SetAccessLog(bool on) { g_log_access = on; }
bool AccessLogOn() { return g_log_access; }

std::string NewRequestId() {
  static const uint32_t start = [] {
    uint32_t r = 0;
    if (getrandom(&r, sizeof r, 0) != sizeof r)
      r = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return r;
  }();
  static std::atomic<uint32_t> next{0};
  // By hand rather than by printf: this is on every request's path.
  const uint64_t n = (uint64_t{start} << 32) | (next.fetch_add(1) + 1);
  std::string text(16, '0');
  for (int i = 0; i < 16; ++i) text[15 - i] = "0123456789abcdef"[(n >> (4 * i)) & 15];
  return text;
}

bool UsableRequestId(const std::string& id) {
  if (id.empty() || id.size() > 64) return false;
  for (unsigned char c : id)
    if (!isalnum(c) && c != '.' && c != '_' && c != '-') return false;
  return true;
}

void LogAccess(const AccessLine& a) {
  if (!g_log_access) return;
  double ms = a.seconds * 1000;
  if (g_log_json) {
    nlohmann::ordered_json j;
    j["time"] = LogNow();
    j["kind"] = "access";
    j["id"] = a.id;
    j["client"] = a.client;
    j["method"] = a.method;
    j["target"] = a.target.substr(0, 2048);
    j["status"] = a.status;
    j["bytes"] = a.bytes;
    j["ms"] = static_cast<double>(static_cast<int64_t>(ms * 1000)) / 1000;
    return LogEmitJson(j);
  }
  char numbers[96];
  snprintf(numbers, sizeof numbers, "%d %llu %.3fms", a.status,
           static_cast<unsigned long long>(a.bytes), ms);
  LogEmit(LogNow() + " access " + LogPlain(a.client, 64) + " \"" + LogPlain(a.method, 16) + " " +
          LogPlain(a.target, 512) + "\" " + numbers + " id=" + a.id);
}

void LogVerdict(const VerdictLine& v) {
  if (g_log_json) {
    nlohmann::ordered_json j;
    j["time"] = LogNow();
    j["kind"] = "verdict";
    j["id"] = v.id;
    j["client"] = v.client;
    j["status"] = v.status;
    j["code"] = v.code;
    if (v.run > 0) {
      j["run"] = v.run;
      j["flies"] = v.flies;
      j["speed"] = v.speed;
      j["time_ms"] = v.time_ms;
    }
    if (!v.message.empty()) j["message"] = v.message;
    return LogEmitJson(j);
  }
  std::string line = LogNow() + " verdict " + LogPlain(v.client, 64) + " " +
                     std::to_string(v.status) + " " + v.code;
  if (v.run > 0)
    line += " run " + std::to_string(v.run) + " " + std::to_string(v.flies) + "x" +
            std::to_string(v.speed) + " " + std::to_string(v.time_ms) + " ms";
  if (!v.message.empty()) line += ": " + LogSentence(v.message);
  LogEmit(line + " id=" + v.id);
}

void LogRefusal(const std::string& id, const std::string& client, int status, const char* code,
                const std::string& why, const std::string& path) {
  if (g_log_json) {
    nlohmann::ordered_json j;
    j["time"] = LogNow();
    j["kind"] = "refusal";
    j["id"] = id;
    j["client"] = client;
    j["status"] = status;
    j["code"] = code;
    j["path"] = path.substr(0, 2048);
    j["message"] = why;
    return LogEmitJson(j);
  }
  LogEmit(LogNow() + " refusal " + LogPlain(client, 64) + " " + std::to_string(status) + " " +
          code + " " + LogPlain(path, 512) + ": " + LogSentence(why) + " id=" + id);
}

}  // namespace board
