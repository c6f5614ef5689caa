// What the board shows: JSON for programs, one plain HTML page for people. Names are
// checked on the way in, and escaped here all the same.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "store.h"

namespace board {

struct ModeBoard {
  int flies = 0;
  int speed = 0;
  std::vector<Run> runs;
};

std::string HtmlEscape(std::string_view text);
std::string JsonString(std::string_view text);   // with its quotes
std::string IsoDate(int64_t seconds);            // 2026-12-08T04:40:43Z
std::string FormatTime(int64_t ms);              // 12.345 s

std::string RunJson(const Run& run);
std::string BoardJson(const ModeBoard& board);
std::string BoardsJson(const std::vector<ModeBoard>& boards);
std::string AcceptedJson(const Run& run, int64_t rank, bool existed);
std::string ErrorJson(std::string_view reason);

std::string BoardsHtml(const std::vector<ModeBoard>& boards);
// The page that answers the upload form: what happened, and the way back.
std::string SubmitResultHtml(int status, std::string_view message, const Run* run, int64_t rank);

}  // namespace board
