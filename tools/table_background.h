// The play field: a warm wooden kitchen table, calm enough for the flies to stand out,
// with three dark slate plates at the top for the counters.
#pragma once

#include "tools/image.h"

Image DrawTableBackground();
