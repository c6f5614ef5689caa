#include "verify/verify_line.h"

#include <iterator>

#include "http/request_parse.h"
#include "replay/core/replay_bounds.h"
#include "replay/core/swat_frames.h"

namespace board {

Verdict FailedVerdict(std::string reason) {
  Verdict v;
  v.reason = std::move(reason);
  return v;
}

namespace {

// The first line, without its newline, if it is printable ASCII and no longer than
// --verify-stream passes on (a 1000-fly round's swat frames take about 1000 characters).
bool FirstLine(std::string_view output, std::string* line) {
  size_t end = output.find('\n');
  if (end == std::string_view::npos) end = output.size();
  if (end == 0 || end > 4000) return false;
  for (size_t i = 0; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(output[i]);
    if (c < 0x20 || c > 0x7e) return false;
  }
  line->assign(output.substr(0, end));
  return true;
}

// The next "key=value" of the line, split at its first '='.
bool NextPair(std::string_view* rest, std::string_view* key, std::string_view* value) {
  size_t end = rest->find(' ');
  std::string_view pair = rest->substr(0, end);
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  size_t eq = pair.find('=');
  if (eq == std::string_view::npos || eq == 0 || eq + 1 == pair.size()) return false;
  *key = pair.substr(0, eq);
  *value = pair.substr(eq + 1);
  for (char c : *key)
    if (!((c >= 'a' && c <= 'z') || c == '_')) return false;
  return true;
}

bool IsSignPart(std::string_view part, bool name) {
  if (part.empty() || part.size() > 40) return false;
  for (char c : part) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
              (!name && ((c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '/'));
    if (!ok) return false;
  }
  return true;
}

// "-" or NAME:VALUE[,NAME:VALUE...], at most 16 of them.
bool ParseSigns(std::string_view text, std::vector<std::string>* out) {
  out->clear();
  if (text == "-") return true;
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view sign = text.substr(0, comma);
    size_t colon = sign.find(':');
    if (colon == std::string_view::npos || !IsSignPart(sign.substr(0, colon), true) ||
        !IsSignPart(sign.substr(colon + 1), false) || out->size() == 16)
      return false;
    out->emplace_back(sign);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
    if (text.empty()) return false;
  }
  return false;
}

bool IsLowerHex(std::string_view text, size_t length) {
  if (text.size() != length) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

bool Flag(std::string_view value, bool* out) {
  if (value != "0" && value != "1") return false;
  *out = value == "1";
  return true;
}

// The fields after the four every verifier gives. Each known one at most once.
bool MoreFields(std::string_view rest, Verdict* v) {
  unsigned seen = 0;
  while (!rest.empty()) {
    std::string_view key, value;
    if (!NextPair(&rest, &key, &value)) return false;
    static const char* const kKnown[] = {"round", "played", "program", "autoplay", "touch",
                                         "pad",   "signs",  "keys",    "swats",    "swat_frames"};
    unsigned bit = 0;
    for (unsigned i = 0; i < std::size(kKnown); ++i)
      if (key == kKnown[i]) bit = 1u << i;
    if (bit == 0) {
      v->extra.emplace_back(key, value);
      continue;
    }
    if (bit & seen) return false;
    seen |= bit;
    bool ok = true;
    if (key == "round") {
      ok = IsLowerHex(value, 64);
      v->round.assign(value);
    } else if (key == "played") {
      ok = ParseCount(value, int64_t{1} << 40, &v->played);
    } else if (key == "program") {
      ok = value.size() <= 64;
      if (value != "-") v->program.assign(value);
    } else if (key == "autoplay") {
      ok = Flag(value, &v->autoplay);
    } else if (key == "touch") {
      ok = Flag(value, &v->touch);
    } else if (key == "pad") {
      ok = Flag(value, &v->pad);
    } else if (key == "signs") {
      ok = ParseSigns(value, &v->signs);
    } else if (key == "keys") {
      ok = ParseCount(value, int64_t{1} << 40, &v->keys);
    } else if (key == "swats") {
      ok = IsLowerHex(value, 64);
      v->swats.assign(value);
    } else if (key == "swat_frames") {
      // Kept as written ("-": not measured); read back here only to hold it to its form
      // (no round has more swats than the most flies).
      std::vector<uint32_t> frames;
      ok = ReadSwatFrames(std::string(value), 1000, &frames);
      if (value != "-") v->swat_frames.assign(value);
    }
    if (!ok) return false;
  }
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
      !MoreFields(rest, &v)) {
    v = Verdict{};
    v.reason = "the verifier's answer was not understood";
    return v;
  }
  if (!ReplayIsMode(flies, speed)) {
    v.kind = Verdict::kRefused;
    v.reason = "invalid: no such mode";
    return v;
  }
  v.kind = Verdict::kAccepted;
  v.line = line;
  v.flies = static_cast<int>(flies);
  v.speed = static_cast<int>(speed);
  v.time_ms = time_ms;
  v.frames = frames;
  return v;
}

}  // namespace board
