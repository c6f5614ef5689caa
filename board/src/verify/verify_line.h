// What `zumble --verify FILE` answers, read strictly: one line, then its exit status.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace board {

struct Verdict {
  enum Kind { kAccepted, kRefused, kFailed } kind = kFailed;
  int flies = 0;
  int speed = 0;
  int64_t time_ms = 0;
  int64_t frames = 0;
  // What a newer game says besides; an older one leaves these as they are here.
  std::string round;               // the round's identity: 64 lower-case hex digits, or empty
  int64_t played = -1;             // the round's calendar time, seconds since 1970; -1 unknown
  std::string program;             // the recorder's version text; empty when unknown
  bool autoplay = false;           // recorded with the game's own autoplay
  bool touch = false;              // played with touch
  bool pad = false;                // played with a gamepad
  std::vector<std::string> signs;  // measured signs of machine play, each "NAME:VALUE"
  // How many Enter/Space presses changed the flies' pace while the round was in play:
  // 0 is the round as dealt; -1 when the game did not say (an older one).
  int64_t keys = -1;
  std::string swats;        // the round by what the game did (mode, seed, the frame of
                            // every swat): 64 lower-case hex digits, or empty
  std::string swat_frames;  // the frame of every swat as the game writes them
                            // (replay/core/swat_frames.h), or empty when it does not
  std::string reason;       // for a refusal or a failure: one printable line
  std::string line;         // for an accepted round: the verifier's whole line, to keep
  // Fields this board does not know (a newer game tells more), in their order.
  std::vector<std::pair<std::string, std::string>> extra;
};

// The board could not check the replay (kFailed), and why.
Verdict FailedVerdict(std::string reason);

// "ok flies=N speed=S time_ms=T frames=F" with exit 0 is accepted (for a known mode),
// optionally followed by " round=HEX64 played=SECONDS program=TEXT autoplay=0|1 touch=0|1
// pad=0|1 signs=-|NAME:VALUE[,NAME:VALUE...] keys=K swats=HEX64 swat_frames=FRAMES" (each known
// field at most once, each
// well-formed; fields this board does not know are let by). Exit 1 or 2 with a line is
// refused with that line as the reason; anything else (a crash, a signal, a malformed
// line) is a failure of the verifier, never accepted.
Verdict ReadVerdict(std::string_view output, int exit_status);

}  // namespace board
