// libFuzzer: what the board reads from clients and from its verifier, with the rules
// each parser must keep whatever it is given (an accepted name is safe as it stands in
// a page, is plain ASCII in JSON, and folds to a form that folds to itself; an accepted
// id prints back as given; a verdict is accepted only from an "ok" line with exit 0;
// JSON text never carries a raw control character or a byte beyond ASCII; a form's
// fields lie inside its body; the part of a file a Range names lies inside the file; the early look at a replay refuses only files of the
// game's format).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "http/byte_range.h"
#include "http/client_address.h"
#include "http/http_parse.h"
#include "http/request_parse.h"
#include "pages/render.h"
#include "replay/core/replay_format.h"
#include "trust/name_fold.h"
#include "verify/replay_cost.h"
#include "verify/verify_line.h"

namespace {

void Require(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 7) {
    case 0: {
      std::string name;
      if (board::ParseName(text, &name)) {
        Require(!name.empty() && name.size() <= 64 && name.front() != ' ' && name.back() != ' ');
        Require(board::HtmlEscape(name) == name);
        for (char c : board::JsonString(name)) Require(c >= 0x20 && c < 0x7f);
        std::string fold = board::FoldName(name);
        Require(board::FoldName(fold) == fold);
      }
      break;
    }
    case 1: {
      int64_t id = 0;
      if (board::ParseRunId(text, &id)) Require(id >= 1 && std::to_string(id) == text);
      int limit = 0;
      if (board::ParseLimit(text, 10, 100, &limit)) Require(limit >= 1 && limit <= 100);
      break;
    }
    case 2: {
      int status = text.empty() ? 0 : static_cast<unsigned char>(text[0]) % 4;
      std::string_view output = text.empty() ? text : text.substr(1);
      board::Verdict v = board::ReadVerdict(output, status);
      if (v.kind == board::Verdict::kAccepted) {
        Require(status == 0 && output.substr(0, 3) == "ok ");
        Require(v.time_ms >= 0 && v.frames >= 0);
        Require(v.round.empty() || v.round.size() == 64);
        for (const std::string& sign : v.signs) Require(sign.find(':') != std::string::npos);
      }
      for (char c : v.reason) Require(c >= 0x20 && c < 0x7f);
      break;
    }
    case 4: {
      // The boundary in the first bytes, the body after them.
      size_t cut = text.empty() ? 0 : static_cast<unsigned char>(text[0]) % 16;
      cut = cut < text.size() ? cut : text.size();
      std::string type = "multipart/form-data; boundary=" + std::string(text.substr(0, cut));
      std::string_view body = text.substr(cut);
      std::vector<board::FormField> fields;
      if (board::ParseMultipart(type, body, &fields)) {
        Require(fields.size() <= 16);
        for (const auto& f : fields) Require(f.value.size() <= body.size());
      }
      std::string value;
      if (board::QueryParam(text, "name", &value)) Require(value.size() <= text.size());
      Require(board::PercentDecode(text, true).size() <= text.size());
      break;
    }
    case 5: {
      std::string reason = board::RefuseBeforeVerifying(text);
      if (!reason.empty())
        Require(text.substr(0, 4) == std::string_view(kReplayMagic, 4) &&
                text.size() >= kReplayHeaderSize);
      for (char c : reason) Require(c >= 0x20 && c < 0x7f);
      break;
    }
    case 6: {
      std::string key = board::AddressKey(text);
      Require(key.size() <= text.size() + 4);
      // A file of up to 64 KB (the first two bytes) and a Range for it (the rest).
      const uint64_t file = text.size() >= 2
                                ? (static_cast<unsigned char>(text[0]) |
                                   static_cast<unsigned>(static_cast<unsigned char>(text[1])) << 8)
                                : 0;
      const board::ByteRange part =
          board::ParseByteRange(text.substr(text.size() >= 2 ? 2 : text.size()), file);
      if (part.kind == board::ByteRange::kPart)
        Require(part.length >= 1 && part.first + part.length <= file);
      break;
    }
    default: {
      std::string json = board::JsonString(text);
      for (size_t i = 1; i + 1 < json.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(json[i]);
        Require(c >= 0x20 && c != '<' && c != '>' && c != '&' && c < 0x7f);
      }
      std::string html = board::HtmlEscape(text);
      Require(html.find('<') == std::string::npos && html.find('"') == std::string::npos);
      break;
    }
  }
  return 0;
}
