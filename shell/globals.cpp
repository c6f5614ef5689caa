#include "shell/globals.h"

HINSTANCE hInst = nullptr;
