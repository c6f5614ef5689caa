#pragma once
// The title screen: menu, pulsing sign, hopping letters and the idle fly.

#include <cstdint>

extern int SignPhase;
extern std::uint32_t IdleStartTick;
extern std::uint32_t TitleTick;

int EnterTitle();
void TitleFrame();
void UpdateTitleSign();
void UpdateIdleFly();
int TitleClick();
int LeaveTitle();

int DrawTitle();
