#include "verify_line.h"

#include "modes.h"
#include "request_parse.h"

namespace board {

namespace {

// The first line, without its newline, if it is printable ASCII and short.
bool FirstLine(std::string_view output, std::string* line) {
  size_t end = output.find('\n');
  if (end == std::string_view::npos) end = output.size();
  if (end == 0 || end > 1000) return false;
  for (size_t i = 0; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(output[i]);
    if (c < 0x20 || c > 0x7e) return false;
  }
  line->assign(output.substr(0, end));
  return true;
}

bool Field(std::string_view* rest, std::string_view key, int64_t max, int64_t* out) {
  if (rest->substr(0, key.size()) != key) return false;
  rest->remove_prefix(key.size());
  size_t end = rest->find(' ');
  std::string_view value = rest->substr(0, end);
  if (!ParseCount(value, max, out)) return false;
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  return true;
}

// " key=value" fields to the end of the line, or false.
bool ExtraFields(std::string_view rest, std::vector<std::pair<std::string, std::string>>* out) {
  while (!rest.empty()) {
    size_t end = rest.find(' ');
    std::string_view field = rest.substr(0, end);
    size_t eq = field.find('=');
    if (eq == 0 || eq == std::string_view::npos || eq + 1 == field.size()) return false;
    for (char c : field.substr(0, eq))
      if (!((c >= 'a' && c <= 'z') || c == '_')) return false;
    out->emplace_back(field.substr(0, eq), field.substr(eq + 1));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
    if (rest.empty()) return false;  // a trailing space
  }
  return true;
}

}  // namespace

Verdict ReadVerdict(std::string_view output, int exit_status) {
  Verdict v;
  std::string line;
  if (!FirstLine(output, &line)) {
    v.reason = "the verifier gave no answer";
    return v;
  }
  if (exit_status == 1 || exit_status == 2) {
    v.kind = Verdict::kRefused;
    v.reason = line;
    return v;
  }
  if (exit_status != 0) {
    v.reason = "the verifier failed";
    return v;
  }
  std::string_view rest = line;
  int64_t flies = 0, speed = 0, time_ms = 0, frames = 0;
  const int64_t kMax = int64_t{1} << 40;
  bool ok = rest.substr(0, 3) == "ok ";
  if (ok) rest.remove_prefix(3);
  if (!ok || !Field(&rest, "flies=", kMax, &flies) || !Field(&rest, "speed=", kMax, &speed) ||
      !Field(&rest, "time_ms=", kMax, &time_ms) || !Field(&rest, "frames=", kMax, &frames) ||
      !ExtraFields(rest, &v.extra)) {
    v.reason = "the verifier's answer was not understood";
    return v;
  }
  if (!IsMode(flies, speed)) {
    v.kind = Verdict::kRefused;
    v.reason = "invalid: no such mode";
    return v;
  }
  v.kind = Verdict::kAccepted;
  v.flies = static_cast<int>(flies);
  v.speed = static_cast<int>(speed);
  v.time_ms = time_ms;
  v.frames = frames;
  return v;
}

}  // namespace board
