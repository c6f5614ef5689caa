#include "trust/name_rules.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uset.h>
#include <unicode/uspoof.h>

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

}  // namespace

std::string NameRefusal(std::string_view name) {
  const Rules* rules = TheRules();
  if (!rules) return "the board cannot check names now";
  UErrorCode err = U_ZERO_ERROR;
  icu::UnicodeString text = rules->nfkc->normalize(
      icu::UnicodeString::fromUTF8(icu::StringPiece(name.data(), static_cast<int32_t>(name.size()))),
      err);
  if (U_FAILURE(err)) return "the board cannot check names now";
  bool letter_or_digit = false;
  for (int32_t i = 0; i < text.length();) {
    UChar32 c = text.char32At(i);
    i += U16_LENGTH(c);
    letter_or_digit = letter_or_digit || (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_ND_MASK));
  }
  if (!letter_or_digit) return "a name needs a letter or a digit";
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
