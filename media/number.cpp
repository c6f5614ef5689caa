// Stand-in until the digit renderer lands.
#include "media/number.h"

void DrawNumber(int, int, int, int) {}
