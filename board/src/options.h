// The server's command line.
#pragma once
#include <string>

#include "server.h"

namespace board {

// False with *error set for a bad option; *help when --help was asked.
bool ParseServerOptions(int argc, char** argv, ServerOptions* out, bool* help,
                        std::string* error);

extern const char kUsage[];

}  // namespace board
