#include "submit_client.h"

#include <fcntl.h>
#include <httplib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "http/request_parse.h"
#include "pages/render.h"
#include "submit_words.h"

namespace board {

namespace {

constexpr size_t kMaxReplay = 16 << 20;

const char kSubmitUsage[] =
    "usage: zumble-board submit FILE --name NAME --to URL [--key KEY | --key-file FILE]\n"
    "  The first run under a name gets the name's key; later runs under it need the\n"
    "  key. With --key-file, a key the board gives is saved there (if it holds none).\n";

int Usage() {
  fputs(kSubmitUsage, stderr);
  return 2;
}

// The first line of a key file, trimmed; "" when there is no such file.
bool ReadKeyFile(const std::string& path, std::string* key) {
  errno = 0;
  std::ifstream in(path);
  key->clear();
  if (!in) return errno == ENOENT;
  errno = 0;
  std::getline(in, *key);
  while (!key->empty() && (key->back() == ' ' || key->back() == '\r')) key->pop_back();
  return key->size() <= 128;
}

// The "key" of the board's answer, if it gave one (and it looks like a key: nothing
// else goes to the terminal or the key file).
std::string KeyInAnswer(const std::string& body) {
  const std::string field = "\"key\":\"";
  size_t at = body.find(field);
  if (at == std::string::npos) return "";
  size_t end = body.find('"', at + field.size());
  std::string key =
      end == std::string::npos ? "" : body.substr(at + field.size(), end - at - field.size());
  bool ok = key.size() > 3 && key.size() <= 128 && key.compare(0, 3, "zk-") == 0;
  for (char c : key) ok = ok && (isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_');
  return ok ? key : "";
}

bool SaveKey(const std::string& path, const std::string& key) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) return false;
  std::string line = key + "\n";
  bool ok = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  return close(fd) == 0 && ok;
}

}  // namespace

const char* SubmitUsage() { return kSubmitUsage; }

int SubmitCommand(int argc, char** argv) {
  std::string file, name, url, key, key_file;
  bool has_name = false;
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--name" && i + 1 < argc) {
      name = argv[++i];
      has_name = true;
    } else if (arg == "--to" && i + 1 < argc) {
      url = argv[++i];
    } else if (arg == "--key" && i + 1 < argc) {
      key = argv[++i];
    } else if (arg == "--key-file" && i + 1 < argc) {
      key_file = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
      file = arg;
    } else {
      return Usage();
    }
  }
  if (file.empty() || !has_name || url.empty() || (!key.empty() && !key_file.empty()))
    return Usage();
  std::string checked;
  if (!ParseName(name, &checked)) {
    fprintf(stderr,
            "zumble-board: a name is 1 to 16 letters (of any alphabet), digits, "
            "spaces or - _ .\n");
    return 2;
  }
  if (!key_file.empty() && !ReadKeyFile(key_file, &key)) {
    fprintf(stderr, "zumble-board: %s: %s\n", key_file.c_str(),
            errno ? strerror(errno) : "not a key file");
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
  httplib::Headers headers;
  if (!key.empty()) headers.emplace("Authorization", "Bearer " + key);
  auto res = client.Post((prefix + "/api/runs?name=" + Percent(checked)).c_str(), headers, bytes,
                         "application/octet-stream");
  if (!res) {
    fprintf(stderr, "zumble-board: %s: %s\n", url.c_str(), httplib::to_string(res.error()).c_str());
    return 2;
  }
  fputs(SubmitAnswerWords(res->status, res->body).c_str(), stdout);
  std::string new_key = KeyInAnswer(res->body);
  if (!new_key.empty()) {
    if (!key_file.empty() && SaveKey(key_file, new_key))
      fprintf(stderr, "zumble-board: the name %s is yours; its key is saved in %s\n",
              checked.c_str(), key_file.c_str());
    else
      fprintf(stderr,
              "zumble-board: the name %s is yours; keep its key, shown only once: %s\n"
              "  (give it with --key, or put it in a file for --key-file)\n",
              checked.c_str(), new_key.c_str());
  }
  return res->status == 200 || res->status == 201 ? 0 : 1;
}

}  // namespace board
