#include "trust/name_rules.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uset.h>
#include <unicode/uspoof.h>

#include <string>

namespace board {

namespace {

// ICU's spoof checker with Unicode's identifier rules: the characters recommended for
// identifiers (and the few punctuation marks they allow) and the "highly restrictive"
// level (one script, or Latin with Han and Japanese or Korean).
struct Rules {
  USpoofChecker* checker = nullptr;
  USet* allowed = nullptr;
  const icu::Normalizer2* nfkc = nullptr;
};

const Rules* TheRules() {
  static const Rules* rules = [] {
    auto* r = new Rules;
    UErrorCode err = U_ZERO_ERROR;
    r->nfkc = icu::Normalizer2::getNFKCInstance(err);
    r->checker = uspoof_open(&err);
    r->allowed = uset_openEmpty();
    uset_addAll(r->allowed, uspoof_getRecommendedSet(&err));
    uset_addAll(r->allowed, uspoof_getInclusionSet(&err));
    uset_add(r->allowed, ' ');
    uset_freeze(r->allowed);
    uspoof_setAllowedChars(r->checker, r->allowed, &err);
    uspoof_setRestrictionLevel(r->checker, USPOOF_HIGHLY_RESTRICTIVE);
    uspoof_setChecks(r->checker,
                     USPOOF_RESTRICTION_LEVEL | USPOOF_CHAR_LIMIT | USPOOF_MIXED_NUMBERS, &err);
    if (U_FAILURE(err)) {
      uspoof_close(r->checker);
      uset_close(r->allowed);
      delete r;
      return static_cast<Rules*>(nullptr);
    }
    return r;
  }();
  return rules;
}

// The refusal of a name whose marks change how its letters read, else "": a mark drawn
// through a letter (combining class 1, overlay: "Ale̵x" reads as Alex at a board's size)
// or around it (enclosing marks), and more than one accent on a letter. The marks that
// write a syllable (the vowel signs and tone marks of Thai, Devanagari and their kin,
// which Unicode gives an Indic syllabic category) are its letters' own and not counted.
std::string MarkRefusal(const icu::UnicodeString& text) {
  int accents = 0;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    uint32_t category = U_GET_GC_MASK(c);
    if (!(category & U_GC_M_MASK)) {
      accents = 0;
      continue;
    }
    if (category & U_GC_ME_MASK) return "a name has no marks drawn around its letters";
    if (u_getCombiningClass(c) == 1) return "a name has no marks drawn through its letters";
    bool syllable = u_getIntPropertyValue(c, UCHAR_INDIC_SYLLABIC_CATEGORY) != U_INSC_OTHER;
    if ((category & U_GC_MN_MASK) && !syllable && ++accents > 1)
      return "a letter of a name has one accent at most";
  }
  return "";
}

// Whether the name reads as a time on the board ("0.001 s", "12.5s", "1:02.345"): digits
// with '.', ':' or ',' and spaces, then perhaps a unit. Such a name, shown beside the
// times, passes for one.
bool ReadsAsTime(const icu::UnicodeString& text) {
  std::string plain;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    if (c == ' ') continue;
    if (u_isdigit(c)) {
      plain += '0';
    } else if (c < 0x80) {
      plain += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    } else {
      return false;
    }
  }
  for (const char* unit :
       {"seconds", "second", "secs", "sec", "mins", "min", "ms", "s", "m", "h"}) {
    size_t length = std::char_traits<char>::length(unit);
    if (plain.size() > length && plain.compare(plain.size() - length, length, unit) == 0) {
      plain.resize(plain.size() - length);
      break;
    }
  }
  return !plain.empty() && plain.find('0') != std::string::npos &&
         plain.find_first_not_of("0.:,") == std::string::npos;
}

}  // namespace

std::string NameRefusal(std::string_view name) {
  const Rules* rules = TheRules();
  if (!rules) return "the board cannot check names now";
  UErrorCode err = U_ZERO_ERROR;
  icu::UnicodeString text =
      rules->nfkc->normalize(icu::UnicodeString::fromUTF8(
                                 icu::StringPiece(name.data(), static_cast<int32_t>(name.size()))),
                             err);
  if (U_FAILURE(err)) return "the board cannot check names now";
  bool letter = false;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    letter = letter || (U_GET_GC_MASK(c) & U_GC_L_MASK);
  }
  // A name of digits alone reads as a number (a rank, a time), not as a player.
  if (!letter) return "a name needs a letter";
  if (ReadsAsTime(text)) return "a name does not read as a time";
  std::string marks = MarkRefusal(text);
  if (!marks.empty()) return marks;
  int32_t found = uspoof_check2UnicodeString(rules->checker, text, nullptr, &err);
  if (U_FAILURE(err)) return "the board cannot check names now";
  if (found & USPOOF_CHAR_LIMIT) {
    for (int32_t i = 0; i < text.length();) {
      UChar32 c = text.char32At(i);
      i += U16_LENGTH(c);
      if (uset_contains(rules->allowed, c)) continue;
      std::string letter;
      icu::UnicodeString(c).toUTF8String(letter);
      return "\"" + letter + "\" is not a letter that names are written with";
    }
  }
  if (found & USPOOF_RESTRICTION_LEVEL)
    return "a name is written in one alphabet (Latin may go with Chinese, Japanese or Korean)";
  if (found & USPOOF_MIXED_NUMBERS) return "a name's digits are all of one kind";
  return "";
}

}  // namespace board
