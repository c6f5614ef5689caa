#include "http/request_parse.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

namespace board {

namespace {

constexpr int kMaxMarksInARow = 2;  // enough for any script's letters, not for a tower

bool ValidUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  int32_t length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

}  // namespace

bool ParseName(std::string_view raw, std::string* out) {
  if (raw.size() > 256 || !ValidUtf8(raw)) return false;
  size_t begin = 0;
  size_t end = raw.size();
  while (begin < end && raw[begin] == ' ') ++begin;
  while (end > begin && raw[end - 1] == ' ') --end;
  std::string_view trimmed = raw.substr(begin, end - begin);
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(err);
  if (U_FAILURE(err)) return false;
  icu::UnicodeString name =
      nfc->normalize(icu::UnicodeString::fromUTF8(
                         icu::StringPiece(trimmed.data(), static_cast<int32_t>(trimmed.size()))),
                     err);
  if (U_FAILURE(err)) return false;
  int chars = 0;
  int marks = 0;
  bool after_letter = false;
  for (int32_t i = 0; i < name.length();) {
    UChar32 c = name.char32At(i);
    i += U16_LENGTH(c);
    // Some letters draw nothing (the Hangul fillers): a name must show what it is.
    if (u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT)) return false;
    uint32_t category = U_GET_GC_MASK(c);
    if (category & U_GC_M_MASK) {
      // A mark belongs to the letter before it.
      if (!after_letter || ++marks > kMaxMarksInARow) return false;
      continue;
    }
    marks = 0;
    after_letter = (category & U_GC_L_MASK) != 0;
    bool ok =
        after_letter || (category & U_GC_ND_MASK) || c == ' ' || c == '-' || c == '_' || c == '.';
    if (!ok || ++chars > kNameMaxChars) return false;
  }
  if (chars == 0) return false;
  std::string utf8;
  name.toUTF8String(utf8);
  if (utf8.size() > kNameMaxBytes) return false;
  *out = std::move(utf8);
  return true;
}

bool ParseCount(std::string_view text, int64_t max, int64_t* out) {
  if (text.empty() || text.size() > 19) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    int digit = c - '0';
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  *out = value;
  return true;
}

bool ParseRunId(std::string_view text, int64_t* out) {
  int64_t value = 0;
  if (!ParseCount(text, int64_t{1} << 62, &value) || value == 0) return false;
  *out = value;
  return true;
}

bool ParseLimit(std::string_view text, int fallback, int max, int* out) {
  if (text.empty()) {
    *out = fallback;
    return true;
  }
  int64_t value = 0;
  if (!ParseCount(text, max, &value) || value == 0) return false;
  *out = static_cast<int>(value);
  return true;
}

}  // namespace board
