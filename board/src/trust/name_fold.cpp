#include "trust/name_fold.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uspoof.h>

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace board {

namespace {

// Unicode's confusables come from ICU's spoof checker (its skeleton: each character
// replaced by the one it is taken for). The skeleton is case-sensitive, and the board is
// not: capital "I" looks like "l" while its lower case "i" does not, Greek "Ν" looks like
// "N" and its lower case "ν" like "v". So each letter is folded in both its cases, and
// the one that comes out as a plain Latin letter is kept; and the letters one case
// ties together are one letter (i, I, l and L, since "AIex" is "Alex" and "Ali" is
// "ALI").
struct Folding {
  const icu::Normalizer2* nfkc = nullptr;
  const icu::Normalizer2* nfd = nullptr;
  const icu::Normalizer2* nfc = nullptr;
  const icu::Normalizer2* casefold = nullptr;
  USpoofChecker* spoof = nullptr;
};

const Folding* Tools() {
  static const Folding* tools = [] {
    auto* t = new Folding;
    UErrorCode err = U_ZERO_ERROR;
    t->nfkc = icu::Normalizer2::getNFKCInstance(err);
    t->nfd = icu::Normalizer2::getNFDInstance(err);
    t->nfc = icu::Normalizer2::getNFCInstance(err);
    t->casefold = icu::Normalizer2::getNFKCCasefoldInstance(err);
    t->spoof = uspoof_open(&err);  // used only for skeletons, which are thread-safe
    if (U_FAILURE(err)) {
      uspoof_close(t->spoof);
      delete t;
      return static_cast<Folding*>(nullptr);
    }
    return t;
  }();
  return tools;
}

// Letters the skeleton keeps apart that read as one another next to lower-case
// letters: the small capitals (as in "ᴀnn"), kra, and i with l (above). Sorted.
struct Pair {
  char32_t from;
  char32_t to;
};
// clang-format off
constexpr Pair kSameLetter[] = {
    {U'i', U'l'},    {0x0138, U'k'},  // ĸ kra
    {0x0262, U'g'},  {0x026A, U'i'},  {0x0274, U'n'},  {0x0280, U'r'},  {0x028F, U'y'},
    {0x0299, U'b'},  {0x029C, U'h'},  {0x029F, U'l'},  {0x1D00, U'a'},  {0x1D04, U'c'},
    {0x1D05, U'd'},  {0x1D07, U'e'},  {0x1D0A, U'j'},  {0x1D0B, U'k'},  {0x1D0D, U'm'},
    {0x1D0F, U'o'},  {0x1D18, U'p'},  {0x1D1B, U't'},  {0x1D1C, U'u'},  {0x1D20, U'v'},
    {0x1D21, U'w'},  {0x1D22, U'z'},  {0xA730, U'f'},  {0xA731, U's'},  {0xA7AF, U'q'},
};
// clang-format on
static_assert(std::is_sorted(std::begin(kSameLetter), std::end(kSameLetter),
                             [](const Pair& a, const Pair& b) { return a.from < b.from; }));

UChar32 SameLetter(UChar32 c) {
  const Pair* it =
      std::lower_bound(std::begin(kSameLetter), std::end(kSameLetter), static_cast<char32_t>(c),
                       [](const Pair& p, char32_t v) { return p.from < v; });
  return it != std::end(kSameLetter) && it->from == static_cast<char32_t>(c)
             ? static_cast<UChar32>(it->to)
             : c;
}

// A mark under a letter (a dot, a comma, a ring below) is lost at the board's size:
// "Anṇ" reads as "Ann". Marks above stay: "Zoë" is not "Zoe".
bool UnderLetter(UChar32 c) { return u_getCombiningClass(c) == 220; }

icu::UnicodeString Mapped(const icu::UnicodeString& text, UChar32 (*map)(UChar32),
                          bool drop_under) {
  icu::UnicodeString out;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    if (!(drop_under && UnderLetter(c))) out.append(map(c));
  }
  return out;
}

UChar32 Same(UChar32 c) { return c; }

// Skeleton, same letters, lower case, until nothing changes (a lower-case letter may
// have a skeleton of its own: "M" is "m" is "rn").
icu::UnicodeString Settled(icu::UnicodeString text, const Folding& t) {
  for (int round = 0; round < 8; ++round) {
    UErrorCode err = U_ZERO_ERROR;
    icu::UnicodeString skeleton;
    uspoof_getSkeletonUnicodeString(t.spoof, 0, text, skeleton, &err);
    icu::UnicodeString next = t.casefold->normalize(Mapped(skeleton, SameLetter, true), err);
    if (U_FAILURE(err) || next == text) break;
    text = next;
  }
  return text;
}

bool PlainLatin(const icu::UnicodeString& text) {
  for (int32_t i = 0; i < text.length(); ++i)
    if (text[i] >= 0x80) return false;
  return true;
}

// One character (of a name taken apart): its folding in lower case, or in upper case
// when only that one reads as plain Latin. Kept per thread: a board folds the same few
// hundred letters again and again.
const icu::UnicodeString& FoldedChar(UChar32 c, const Folding& t) {
  thread_local std::unordered_map<UChar32, icu::UnicodeString> known;
  auto it = known.find(c);
  if (it != known.end()) return it->second;
  if (known.size() >= 16384) known.clear();
  icu::UnicodeString lower(c), upper(c);
  lower.toLower();
  upper.toUpper();
  icu::UnicodeString a = Settled(lower, t);
  if (!PlainLatin(a)) {
    icu::UnicodeString b = Settled(upper, t);
    if (PlainLatin(b)) a = b;
  }
  return known.emplace(c, std::move(a)).first->second;
}

// Each character of the NFD text folded, marks under letters dropped; NFD again.
icu::UnicodeString FoldedChars(const icu::UnicodeString& text, const Folding& t) {
  icu::UnicodeString folded;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    if (!UnderLetter(c)) folded.append(FoldedChar(c, t));
  }
  UErrorCode err = U_ZERO_ERROR;
  return Mapped(t.nfd->normalize(folded, err), Same, true);
}

}  // namespace

std::string FoldName(std::string_view name) {
  const Folding* t = Tools();
  if (!t) return std::string(name);  // ICU's data is part of its library
  UErrorCode err = U_ZERO_ERROR;
  icu::UnicodeString text =
      t->nfd->normalize(t->nfkc->normalize(icu::UnicodeString::fromUTF8(icu::StringPiece(
                                               name.data(), static_cast<int32_t>(name.size()))),
                                           err),
                        err);
  if (U_FAILURE(err)) return std::string(name);
  // A folded letter may be one that folds further (yogh's capital is a 3): again until
  // nothing changes.
  for (int round = 0; round < 4; ++round) {
    icu::UnicodeString next = FoldedChars(text, *t);
    if (next == text) break;
    text = next;
  }
  icu::UnicodeString folded = t->nfc->normalize(text, err);
  if (U_FAILURE(err)) return std::string(name);
  std::string utf8;
  folded.toUTF8String(utf8);
  std::string out;
  for (char c : utf8) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace board
