#include "submit_words.h"

#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace board {

namespace {

using Json = nlohmann::json;

// A board's text for the terminal: its letters (any alphabet: names are Unicode), with
// the C0 and C1 controls, DEL and the direction overrides left out.
std::string WordsPrintable(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size() && out.size() < 2048; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) continue;
    if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xa0) {
      ++i;  // U+0080..U+009F
      continue;
    }
    if (c == 0xe2 && i + 2 < text.size()) {
      unsigned b = static_cast<unsigned char>(text[i + 1]),
               d = static_cast<unsigned char>(text[i + 2]);
      bool bidi = (b == 0x80 && d >= 0xaa && d <= 0xae) || (b == 0x81 && d >= 0xa6 && d <= 0xa9);
      if (bidi) {
        i += 2;
        continue;
      }
    }
    out += static_cast<char>(c);
  }
  return out;
}

// Any answer that is not the board's JSON: printable ASCII and line ends only, 4 KB.
std::string WordsPlain(const std::string& body) {
  std::string out;
  for (unsigned char c : body.substr(0, 4096))
    out += (c >= 0x20 && c < 0x7f) || c == '\n' ? static_cast<char>(c) : '?';
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::string WordsText(const Json& j, const char* key) {
  auto it = j.find(key);
  return it != j.end() && it->is_string() ? WordsPrintable(it->get<std::string>()) : "";
}

int64_t WordsNumber(const Json& j, const char* key) {
  auto it = j.find(key);
  return it != j.end() && it->is_number_integer() ? it->get<int64_t>() : -1;
}

bool WordsFlag(const Json& j, const char* key) {
  auto it = j.find(key);
  return it != j.end() && it->is_boolean() && it->get<bool>();
}

std::string WordsSeconds(int64_t ms) {
  char text[32];
  snprintf(text, sizeof text, "%lld.%03lld s", static_cast<long long>(ms / 1000),
           static_cast<long long>(ms % 1000));
  return text;
}

// "run 12: Ann, 10 flies NORMAL, 5.433 s"
std::string WordsRun(const Json& j) {
  std::string words = "run " + std::to_string(WordsNumber(j, "id")) + ": " + WordsText(j, "name");
  auto mode = j.find("mode");
  if (mode != j.end() && mode->is_object())
    words += ", " + std::to_string(WordsNumber(*mode, "flies")) + " flies " +
             WordsText(*mode, "speed_word");
  if (WordsNumber(j, "time_ms") >= 0) words += ", " + WordsSeconds(WordsNumber(j, "time_ms"));
  return words;
}

std::string WordsAccepted(int status, const Json& j) {
  std::string words =
      status == 200 ? "already on the board (sent before under this name): " : "on the board: ";
  words += WordsRun(j) + ", place " + std::to_string(WordsNumber(j, "rank"));
  if (WordsFlag(j, "record"))
    words += ", the board's record";
  else if (WordsFlag(j, "personal_best"))
    words += ", your best";
  words += "\n";
  if (!WordsText(j, "key").empty())
    words +=
        "the name " + WordsText(j, "name") + " is yours from now on: runs under it need its key\n";
  return words;
}

std::string WordsRefused(int status, const Json& j) {
  const std::string code = WordsText(j, "error"), message = WordsText(j, "message");
  if (code == "held") {
    std::string words = "held for review: run " + std::to_string(WordsNumber(j, "id")) +
                        " is stored but shows signs of machine play";
    std::string signs;
    auto list = j.find("signs");
    if (list != j.end() && list->is_array())
      for (const Json& sign : *list)
        if (sign.is_string())
          signs += (signs.empty() ? "" : ", ") + WordsPrintable(sign.get<std::string>());
    if (!signs.empty()) words += " (" + signs + ")";
    words += "; an operator will watch it. The name is yours only if it is approved\n";
    return words;
  }
  if (code == "unfiled")
    return "stored, on no board yet: run " + std::to_string(WordsNumber(j, "id")) +
           " waits until the board runs a game that says how its round was dealt\n";
  std::string words = "refused (" + (code.empty() ? std::to_string(status) : code) + ")";
  if (!message.empty()) words += ": " + message;
  if (!WordsText(j, "rule").empty() && message.find(WordsText(j, "rule")) == std::string::npos)
    words += " (" + WordsText(j, "rule") + ")";
  if (WordsNumber(j, "run") > 0) words += " (run " + std::to_string(WordsNumber(j, "run")) + ")";
  return words + "\n";
}

}  // namespace

std::string SubmitAnswerWords(int status, const std::string& body) {
  Json j = Json::parse(body, nullptr, false);
  if (j.is_discarded() || !j.is_object())
    return "the board answered " + std::to_string(status) + ": " + WordsPlain(body) + "\n";
  if (status == 200 || status == 201) return WordsAccepted(status, j);
  return WordsRefused(status, j);
}

}  // namespace board
