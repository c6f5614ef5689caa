// The server's command line read through its table (option_rows.cpp): the parser, the
// checks once every option is read, and the usage and --help texts.
#include "options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <variant>
#include <vector>

#include "http/board_hosts.h"
#include "http/request_parse.h"
#include "ops/address_range.h"

namespace board {

namespace {

bool IsFile(const std::string& path, bool executable) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (!executable || access(path.c_str(), X_OK) == 0);
}

bool IsDir(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes the folder and any of its parents missing (mode 700: the verifiers' replays are
// the players'); false with errno set when one cannot be made.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (!part.empty() && !IsDir(part) && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
      return false;
    if (slash == std::string::npos) break;
  }
  return IsDir(path) || (errno = ENOTDIR, false);
}

// Whether the word is one of the space-separated choices.
bool IsChoice(const std::string& word, const char* choices) {
  std::string list = std::string(" ") + choices + " ";
  return !word.empty() && word.find(' ') == std::string::npos &&
         list.find(" " + word + " ") != std::string::npos;
}

// The game next to this program, or the installed one.
std::string DefaultZumble() {
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string dir(self, static_cast<size_t>(n));
    dir = dir.substr(0, dir.rfind('/'));
    for (const char* rel : {"/zumble", "/../build/zumble"})
      if (IsFile(dir + rel, true)) return dir + rel;
  }
  for (const char* p : {"/usr/games/zumble", "/usr/bin/zumble"})
    if (IsFile(p, true)) return p;
  return "";
}

bool Int(const std::string& text, int64_t min, int64_t max, int64_t* out) {
  return ParseCount(text, max, out) && *out >= min;
}

// A date's field: exactly its digits, a leading zero included (the 05 of 2024-05-09,
// which a count would refuse), from min to max.
bool DateField(const std::string& digits, int64_t min, int64_t max, int64_t* out) {
  int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *out = n;
  return n >= min && n <= max;
}

// YYYY-MM-DD as the seconds since 1970 of its midnight, UTC.
bool Date(const std::string& text, int64_t* out) {
  int64_t year = 0, month = 0, day = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      !DateField(text.substr(0, 4), 1970, 9999, &year) ||
      !DateField(text.substr(5, 2), 1, 12, &month) || !DateField(text.substr(8, 2), 1, 31, &day))
    return false;
  tm parts{};
  parts.tm_year = static_cast<int>(year - 1900);
  parts.tm_mon = static_cast<int>(month - 1);
  parts.tm_mday = static_cast<int>(day);
  time_t t = timegm(&parts);
  // timegm carries a 31st of a short month into the next: such a day does not exist.
  if (t < 0 || parts.tm_mday != static_cast<int>(day)) return false;
  *out = static_cast<int64_t>(t);
  return true;
}

// Stores a value in the field, whichever of the options' members it is. False when the
// row's kind does not fit its field's type (board/tests/options_test.cpp reads every row).
bool StoreWhole(const OptionField& field, int64_t n, ServerOptions* out) {
  using S = ServerOptions;
  using V = VerifierConfig;
  if (auto f = std::get_if<int S::*>(&field))
    out->** f = static_cast<int>(n);
  else if (auto f = std::get_if<size_t S::*>(&field))
    out->** f = static_cast<size_t>(n);
  else if (auto f = std::get_if<int64_t S::*>(&field))
    out->** f = n;
  else if (auto f = std::get_if<double S::*>(&field))
    out->** f = static_cast<double>(n);
  else if (auto f = std::get_if<int V::*>(&field))
    out->verifier.** f = static_cast<int>(n);
  else
    return false;
  return true;
}

std::string* TextField(const OptionField& field, ServerOptions* out) {
  if (auto f = std::get_if<std::string ServerOptions::*>(&field)) return &(out->**f);
  if (auto f = std::get_if<std::string VerifierConfig::*>(&field)) return &(out->verifier.**f);
  return nullptr;
}

// The value of a row that takes one, stored; false when it is not one the row takes.
bool StoreValue(const OptionRow& row, const std::string& value, ServerOptions* out) {
  switch (row.kind) {
    case OptionKind::kWhole: {
      int64_t n = 0;
      return Int(value, row.min, row.max, &n) && StoreWhole(row.field, n, out);
    }
    case OptionKind::kDecimal: {
      auto f = std::get_if<double ServerOptions::*>(&row.field);
      char* end = nullptr;
      double n = strtod(value.c_str(), &end);
      if (!f || end == value.c_str() || *end != '\0' || !(n > static_cast<double>(row.min)) ||
          !(n <= static_cast<double>(row.max)))
        return false;
      out->** f = n;
      return true;
    }
    case OptionKind::kDate: {
      int64_t t = 0;
      auto f = std::get_if<int64_t ServerOptions::*>(&row.field);
      if (!f || !Date(value, &t)) return false;
      out->** f = t;
      return true;
    }
    case OptionKind::kText: {
      std::string* text = TextField(row.field, out);
      if (text) *text = value;
      return text != nullptr;
    }
    case OptionKind::kPublicUrl: {
      auto f = std::get_if<std::vector<std::string> ServerOptions::*>(&row.field);
      BoardOrigin origin;
      if (!f || !ParsePublicUrl(value, &origin)) return false;
      (out->**f).push_back(value);
      return true;
    }
    case OptionKind::kAddresses: {
      auto f = std::get_if<std::vector<std::string> ServerOptions::*>(&row.field);
      std::vector<AddressRange> ranges;
      if (!f || !ParseAddressRanges(value, &ranges)) return false;
      (out->**f).push_back(value);
      return true;
    }
    case OptionKind::kChoice: {
      std::string* text = TextField(row.field, out);
      if (!text || !IsChoice(value, row.choices)) return false;
      *text = value;
      return true;
    }
    case OptionKind::kFlag: break;
  }
  return false;
}

const OptionRow* FindOption(const std::string& name) {
  for (const OptionRow& row : ServerOptionRows())
    if (name == row.name) return &row;
  return nullptr;
}

// The checks once every option is read: the game there to run, the folders there.
bool CheckPaths(ServerOptions* out, std::string* error) {
  for (const OptionRow& row : ServerOptionRows()) {
    const std::string* path = TextField(row.field, out);
    if (row.check == OptionCheck::kNone || !path) continue;
    if (row.check == OptionCheck::kExecutable && !IsFile(*path, true)) {
      *error = path->empty() ? std::string("the game is not found next to zumble-board; give ") +
                                   row.name + " " + row.value
                             : std::string(row.name) + " " + *path + ": not an executable file";
      return false;
    }
    if (row.check == OptionCheck::kFolder && !path->empty() && !IsDir(*path)) {
      *error = std::string(row.name) + " " + *path + ": not a folder";
      return false;
    }
    if (row.check == OptionCheck::kMadeFolder && !path->empty() && !MakeFolders(*path)) {
      *error = std::string(row.name) + " " + *path + ": cannot make it: " + strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseServerOptions(int argc, char** argv, ServerOptions* out, bool* help, std::string* error) {
  *help = false;
  unsigned cores = std::thread::hardware_concurrency();
  out->verifiers = cores > 1 ? static_cast<int>(cores) - 1 : 1;
  out->io_threads = cores > 1 ? static_cast<int>(cores < 4 ? cores : 4) : 1;
  const char* tmp = getenv("TMPDIR");
  out->verifier.work_dir = tmp && *tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help") {
      *help = true;
      return true;
    }
    const OptionRow* row = FindOption(arg);
    if (row && row->kind == OptionKind::kFlag) {
      if (auto f = std::get_if<bool ServerOptions::*>(&row->field)) out->** f = row->flag_sets;
      continue;
    }
    if (i + 1 >= argc) {
      *error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unknown argument " + arg;
      return false;
    }
    std::string value = argv[++i];
    if (!row) {
      *error = "unknown option " + arg;
      return false;
    }
    if (!StoreValue(*row, value, out)) {
      *error = arg + ": bad value '" + value + "'";
      return false;
    }
  }
  if (out->verifier.zumble.empty()) out->verifier.zumble = DefaultZumble();
  return CheckPaths(out, error);
}

std::string ServerUsage() {
  std::string text = "usage: zumble-board", line;
  const std::string indent(19, ' ');
  for (const OptionRow& row : ServerOptionRows()) {
    std::string word =
        std::string("[") + row.name + (*row.value ? " " : "") + row.value + "]" +
        (row.kind == OptionKind::kPublicUrl || row.kind == OptionKind::kAddresses ? "..." : "");
    if (!line.empty() && indent.size() + line.size() + 1 + word.size() > 88) {
      text += line + "\n" + indent;
      line.clear();
    }
    line += " " + word;
  }
  text += line + "\n";
  text += "       zumble-board submit FILE --name NAME --to URL [--key KEY | --key-file FILE]\n";
  text += "       zumble-board admin --db DB [--url BOARD_URL] COMMAND [ARGS] [--reason TEXT]\n";
  text += "       zumble-board backup [--db DB] FILE | restore [--db DB] FILE [--replace]\n";
  text += "       zumble-board --help | --version\n";
  return text;
}

std::string ServerHelp() {
  std::string text = ServerUsage() + "\noptions (given twice, the last counts):\n";
  for (const OptionRow& row : ServerOptionRows()) {
    std::string left = std::string("  ") + row.name + (*row.value ? " " : "") + row.value;
    if (left.size() < 32)
      left.resize(32, ' ');
    else
      left += "\n" + std::string(32, ' ');
    text += left + row.help + "\n";
  }
  return text;
}

}  // namespace board
