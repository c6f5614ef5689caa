// What `zumble-board submit` prints: the board's answer to a run said in words ("on the
// board: ...", "held for review: ..."), never a terminal's control sequence, whatever
// the board sent.
#pragma once
#include <string>

namespace board {

// The words for an answer of this status and body, one or more lines, each ending in a
// line end.
std::string SubmitAnswerWords(int status, const std::string& body);

}  // namespace board
