// The game's eight recordings, synthesised as mono 16-bit samples at 22050 Hz.
#pragma once

#include <cstdint>
#include <vector>

std::vector<std::int16_t> MakeBuzz();       // a fly's buzz that loops without a seam
std::vector<std::int16_t> MakeSwing();      // the swatter's whoosh
std::vector<std::int16_t> MakeHit();        // the swat landing
std::vector<std::int16_t> MakeButton();     // a setting changed
std::vector<std::int16_t> MakeOk();         // a choice confirmed
std::vector<std::int16_t> MakeLowClick();   // the title sign set pulsing
std::vector<std::int16_t> MakeHighClick();  // a title letter knocked
std::vector<std::int16_t> MakeMusic();      // the background tune, a seamless loop
