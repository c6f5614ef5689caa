// The sixteen modes of the game, as `zumble --verify` names them: the flies of a round
// and the speed step (1..4) the mode screen shows. A board exists for each; nothing else is stored.
#pragma once

namespace board {

constexpr int kFlies[4] = {10, 30, 100, 1000};
constexpr int kSpeeds[4] = {1, 2, 3, 4};

inline bool IsMode(long long flies, long long speed) {
  bool f = false, s = false;
  for (int v : kFlies) f = f || v == flies;
  for (int v : kSpeeds) s = s || v == speed;
  return f && s;
}

}  // namespace board
