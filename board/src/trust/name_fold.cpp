#include "trust/name_fold.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <iterator>

namespace board {

namespace {

// Letters of other scripts (and a few Latin ones) that a reader takes for a Latin
// letter in common fonts. Upper-case entries are for names shown in capitals: Cyrillic
// "В" looks like "B", while its lower case "в" looks like no Latin letter. Letters with
// accents are not listed: they are taken apart first (ё is е and a diaeresis), so the
// base letter's entry covers them. Sorted by code point.
struct Pair {
  char32_t from;
  char32_t to;
};
constexpr Pair kLookAlikes[] = {
    {0x0131, U'i'},  // ı dotless i
    {0x01C0, U'l'},  // ǀ dental click
    {0x0237, U'j'},  // ȷ dotless j
    {0x0251, U'a'},  // ɑ Latin alpha
    {0x0261, U'g'},  // ɡ script g
    {0x0269, U'i'},  // ɩ Latin iota
    {0x037F, U'J'},  // Ϳ Greek yot
    {0x0391, U'A'},  // Α
    {0x0392, U'B'},  // Β
    {0x0395, U'E'},  // Ε
    {0x0396, U'Z'},  // Ζ
    {0x0397, U'H'},  // Η
    {0x0399, U'I'},  // Ι
    {0x039A, U'K'},  // Κ
    {0x039C, U'M'},  // Μ
    {0x039D, U'N'},  // Ν
    {0x039F, U'O'},  // Ο
    {0x03A1, U'P'},  // Ρ
    {0x03A4, U'T'},  // Τ
    {0x03A5, U'Y'},  // Υ
    {0x03A7, U'X'},  // Χ
    {0x03B1, U'a'},  // α
    {0x03B3, U'y'},  // γ
    {0x03B7, U'n'},  // η
    {0x03B9, U'i'},  // ι
    {0x03BA, U'k'},  // κ
    {0x03BD, U'v'},  // ν
    {0x03BF, U'o'},  // ο
    {0x03C1, U'p'},  // ρ
    {0x03C5, U'u'},  // υ
    {0x03C7, U'x'},  // χ
    {0x03F2, U'c'},  // ϲ lunate sigma
    {0x03F3, U'j'},  // ϳ
    {0x03F9, U'C'},  // Ϲ
    {0x0405, U'S'},  // Ѕ
    {0x0406, U'I'},  // І
    {0x0408, U'J'},  // Ј
    {0x0410, U'A'},  // А
    {0x0412, U'B'},  // В
    {0x0415, U'E'},  // Е
    {0x041A, U'K'},  // К
    {0x041C, U'M'},  // М
    {0x041D, U'H'},  // Н
    {0x041E, U'O'},  // О
    {0x0420, U'P'},  // Р
    {0x0421, U'C'},  // С
    {0x0422, U'T'},  // Т
    {0x0423, U'Y'},  // У
    {0x0425, U'X'},  // Х
    {0x0430, U'a'},  // а
    {0x0435, U'e'},  // е
    {0x043E, U'o'},  // о
    {0x0440, U'p'},  // р
    {0x0441, U'c'},  // с
    {0x0443, U'y'},  // у
    {0x0445, U'x'},  // х
    {0x0455, U's'},  // ѕ
    {0x0456, U'i'},  // і
    {0x0458, U'j'},  // ј
    {0x0474, U'V'},  // Ѵ
    {0x0475, U'v'},  // ѵ
    {0x04AE, U'Y'},  // Ү
    {0x04AF, U'y'},  // ү
    {0x04BB, U'h'},  // һ
    {0x04C0, U'I'},  // Ӏ palochka
    {0x04CF, U'l'},  // ӏ
    {0x0501, U'd'},  // ԁ
    {0x051A, U'Q'},  // Ԛ
    {0x051B, U'q'},  // ԛ
    {0x051C, U'W'},  // Ԝ
    {0x051D, U'w'},  // ԝ
};

static_assert(std::is_sorted(std::begin(kLookAlikes), std::end(kLookAlikes),
                             [](const Pair& a, const Pair& b) { return a.from < b.from; }));

icu::UnicodeString MapLookAlikes(const icu::UnicodeString& text) {
  icu::UnicodeString out;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    out.append(static_cast<UChar32>(LookAlike(static_cast<char32_t>(c))));
    i += U16_LENGTH(c);
  }
  return out;
}

}  // namespace

char32_t LookAlike(char32_t c) {
  const Pair* it = std::lower_bound(std::begin(kLookAlikes), std::end(kLookAlikes), c,
                                    [](const Pair& p, char32_t v) { return p.from < v; });
  return it != std::end(kLookAlikes) && it->from == c ? it->to : c;
}

std::string FoldName(std::string_view name) {
  UErrorCode err = U_ZERO_ERROR;
  const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(err);
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(err);
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(err);
  const icu::Normalizer2* casefold = icu::Normalizer2::getNFKCCasefoldInstance(err);
  if (U_FAILURE(err)) return std::string(name);  // ICU's data is part of its library
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
  // Apart (compatibility forms to plain letters, accents off their letters), look-alikes
  // of either case to Latin, then lower case; once more for letters that only look
  // Latin in lower case; and together again.
  text = MapLookAlikes(nfkd->normalize(text, err));
  text = casefold->normalize(text, err);
  text = nfc->normalize(MapLookAlikes(nfd->normalize(text, err)), err);
  if (U_FAILURE(err)) return std::string(name);
  std::string utf8;
  text.toUTF8String(utf8);
  std::string out;
  for (char c : utf8) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace board
