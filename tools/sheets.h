// The three scene sheets: palette indices laid out exactly where each scene cuts them.
#pragma once

#include "tools/image.h"

Image BuildPlaySheet();
Image BuildModeSheet();
Image BuildTitleSheet();
