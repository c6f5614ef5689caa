// One shown run's page, /runs/ID: who, which mode, the time and rank, when it was played
// and sent, what recorded it, its signs, the ways to watch, race and keep it, its clip;
// and the tags a chat or a social site reads to preview a pasted link.
#pragma once
#include <cstdint>
#include <string>

#include "clips/clip_queue.h"
#include "store/store.h"

namespace board {

std::string RunPath(int64_t run_id);  // /runs/ID

// `base` starts every link the preview tags carry ("https://board.example.org").
std::string RunPageHtml(const Run& run, int64_t rank, const std::string& base, ClipState clip,
                        bool still);

}  // namespace board
