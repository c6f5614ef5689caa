#include "submit_client.h"

#include <httplib.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "request_parse.h"

namespace board {

namespace {

constexpr size_t kMaxReplay = 16 << 20;

std::string QueryEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// A board's answer as plain text: printable ASCII and line ends only, at most 4 KB, so
// that no board can send escape sequences to the terminal.
std::string PlainText(const std::string& body) {
  std::string out;
  for (unsigned char c : body.substr(0, 4096))
    out += (c >= 0x20 && c < 0x7f) || c == '\n' ? static_cast<char>(c) : '?';
  return out;
}

int Usage() {
  fprintf(stderr, "usage: zumble-board submit FILE --name NAME --to URL\n");
  return 2;
}

}  // namespace

int SubmitCommand(int argc, char** argv) {
  std::string file, name, url;
  bool has_name = false;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--name" && i + 1 < argc) {
      name = argv[++i];
      has_name = true;
    } else if (arg == "--to" && i + 1 < argc) {
      url = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
      file = arg;
    } else {
      return Usage();
    }
  }
  if (file.empty() || !has_name || url.empty()) return Usage();
  std::string checked;
  if (!ParseName(name, &checked)) {
    fprintf(stderr, "zumble-board: a name is 1 to 16 letters, digits, spaces or - _ .\n");
    return 2;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    fprintf(stderr, "zumble-board: %s: %s\n", file.c_str(), strerror(errno));
    return 2;
  }
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.append(chunk, static_cast<size_t>(in.gcount()));
    if (bytes.size() > kMaxReplay) {
      fprintf(stderr, "zumble-board: %s: too large for a replay\n", file.c_str());
      return 2;
    }
  }

  // URL: scheme://host[:port][/prefix]; the board's API lives under the prefix.
  size_t scheme_end = url.find("://");
  size_t path_start = url.find('/', scheme_end == std::string::npos ? 0 : scheme_end + 3);
  std::string origin = path_start == std::string::npos ? url : url.substr(0, path_start);
  std::string prefix = path_start == std::string::npos ? "" : url.substr(path_start);
  while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
  httplib::Client client(origin);
  if (!client.is_valid()) {
    fprintf(stderr, "zumble-board: %s: not a board's address\n", url.c_str());
    return 2;
  }
  client.set_connection_timeout(10, 0);
  client.set_read_timeout(60, 0);
  auto res = client.Post((prefix + "/api/runs?name=" + QueryEncode(checked)).c_str(), bytes,
                         "application/octet-stream");
  if (!res) {
    fprintf(stderr, "zumble-board: %s: %s\n", url.c_str(),
            httplib::to_string(res.error()).c_str());
    return 2;
  }
  std::string text = PlainText(res->body);
  printf("%d %s", res->status, text.c_str());
  if (text.empty() || text.back() != '\n') printf("\n");
  return res->status == 200 || res->status == 201 ? 0 : 1;
}

}  // namespace board
