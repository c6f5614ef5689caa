#include "trust/refusal.h"

#include "http/request_parse.h"
#include "pages/render.h"

namespace board {

Refusal& Refusal::WithText(std::string name, std::string_view text) {
  return With(std::move(name), JsonString(text));
}

Refusal MakeRefusal(int status, std::string code, std::string message) {
  Refusal r;
  r.status = status;
  r.code = std::move(code);
  r.message = std::move(message);
  return r;
}

Refusal RefusalOfVerdict(const Verdict& verdict) {
  const std::string& line = verdict.reason;
  if (verdict.kind == Verdict::kFailed)
    return MakeRefusal(500, "verifier_failed", "the board could not check the replay: " + line);
  const std::string_view desync = "desync at frame ";
  int64_t frame = 0;
  if (line.compare(0, desync.size(), desync) == 0 &&
      ParseCount(std::string_view(line).substr(desync.size()), int64_t{1} << 40, &frame)) {
    return MakeRefusal(422, "desync",
                       "the replay does not play to its end: it parts from the recorded round at "
                       "frame " +
                           std::to_string(frame))
        .WithNumber("frame", frame);
  }
  const std::string_view invalid = "invalid: ";
  if (line.compare(0, invalid.size(), invalid) == 0) {
    std::string rule = line.substr(invalid.size());
    return MakeRefusal(422, "invalid", "the replay breaks a rule of the game: " + rule)
        .WithText("rule", rule);
  }
  // "unreadable: FILE: REASON" names the server's own temporary file: keep only the reason.
  std::string reason = line;
  const std::string_view unreadable = "unreadable: ";
  if (reason.compare(0, unreadable.size(), unreadable) == 0) {
    reason.erase(0, unreadable.size());
    size_t colon = reason.find(": ");
    if (colon != std::string::npos) reason.erase(0, colon + 2);
  }
  return MakeRefusal(422, "unreadable", "the file is not a replay the game can read: " + reason)
      .WithText("reason", reason);
}

std::string RefusalJson(const Refusal& refusal) {
  std::vector<std::pair<std::string, std::string>> members = {
      {"error", JsonString(refusal.code)}, {"message", JsonString(refusal.message)}};
  members.insert(members.end(), refusal.details.begin(), refusal.details.end());
  return JsonObjectOf(members) + "\n";
}

}  // namespace board
