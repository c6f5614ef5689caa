// The server's command line: a table with one row per option (option_rows.cpp), which
// the parser, --help and the checks after parsing all read.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "server.h"

namespace board {

enum class OptionKind {
  kFlag,       // no value: stores flag_sets
  kWhole,      // a whole number from min to max
  kDecimal,    // a decimal number over min, up to max
  kDate,       // YYYY-MM-DD, stored as the seconds since 1970 of its midnight, UTC
  kText,       // any text
  kPublicUrl,  // a URL the board is reached at, added to a list (repeatable)
  kAddresses,  // address ranges (CIDR), comma-separated, added to a list (repeatable)
  kChoice,     // one of the words of `choices`
};

// What is checked of a text once every option is read.
// kMadeFolder: a folder, made (with its parents) when missing.
enum class OptionCheck { kNone, kExecutable, kFolder, kMadeFolder };

// Where an option's value goes: a member of the options, or of their verifier's.
using OptionField =
    std::variant<bool ServerOptions::*, int ServerOptions::*, size_t ServerOptions::*,
                 int64_t ServerOptions::*, double ServerOptions::*, std::string ServerOptions::*,
                 std::vector<std::string> ServerOptions::*, int VerifierConfig::*,
                 std::string VerifierConfig::*>;

struct OptionRow {
  const char* name = "";   // "--port"
  const char* value = "";  // the value's name in --help ("N"); "" for a flag
  OptionKind kind = OptionKind::kText;
  int64_t min = 0, max = 0;
  OptionField field;
  const char* help = "";  // one line of --help
  OptionCheck check = OptionCheck::kNone;
  bool flag_sets = true;     // what a flag stores (--no-clips stores false)
  const char* choices = "";  // a kChoice's words, space-separated
};

// Every option, in the order --help lists them. An option given twice takes the last
// value (the packaged unit gives --db and others, which the operator's own options may
// replace), but for --public-url, which adds.
std::span<const OptionRow> ServerOptionRows();

// False with *error set for a bad option; *help when --help was asked.
bool ParseServerOptions(int argc, char** argv, ServerOptions* out, bool* help, std::string* error);

// The usage lines (printed after a bad option), and --help's text: those lines, then one
// line per option.
std::string ServerUsage();
std::string ServerHelp();

}  // namespace board
