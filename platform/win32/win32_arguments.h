#pragma once
// The command line as Windows holds it (UTF-16), in UTF-8 as the options expect it: the
// ANSI argv of main() turns what the code page lacks into '?'.

#include <string>
#include <vector>

// Fills `text` with the arguments and `argv` with pointers into it (argv[argc] is null).
// False, leaving both empty, when Windows cannot give the wide command line.
bool Win32Utf8Arguments(std::vector<std::string>* text, std::vector<char*>* argv);
