// Stand-in until the test player lands.
#include "shell/autoplay.h"

void StartAutoplay() {}
