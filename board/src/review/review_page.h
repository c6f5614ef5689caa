// The moderators' review page (/review): each run of the review queue with what a
// moderator decides by: its clip, its signs beside the board's shown runs, the board's
// top as it stands, the player's history and the earlier runs on its seed; and a form to
// approve or reject it with a reason.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/store.h"

namespace board {

struct ReviewItem {
  Run run;
  int64_t rank = 0;                                    // its place on its board, once shown
  std::vector<std::pair<std::string, int64_t>> signs;  // each sign, and shown runs with it
  std::vector<Run> board;                              // the board's shown top now
  Page history;                                        // the player's runs, every state
  Page same_seed;                                      // runs of its mode and seed
  std::string clip;                                    // ClipStatus: made, making, ...
  std::string watch;                                   // the page playing it (a review link)
};

std::string ReviewPageHtml(const std::string& moderator, const std::vector<ReviewItem>& items,
                           int64_t waiting);
// The answer to an approve or reject: what was done, or why not; and the way back.
std::string ReviewDoneHtml(const std::string& what);

}  // namespace board
