#pragma once
// <windows.h> as the port's Windows files take it: without the min and max macros, which
// break the standard library's, and without the parts of the API that nobody here uses.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
