// Names belong to players, and names that look alike are one name: the same letters in
// another case, in a compatibility form (full-width, ligatures, mathematical letters)
// or with Cyrillic or Greek letters that look like Latin ones. FoldName gives the one
// form under which they are compared and stored as the player's key.
#pragma once
#include <string>
#include <string_view>

namespace board {

// `name` is valid UTF-8 (as ParseName leaves it). The result is NFC, lower case, with
// look-alike letters replaced by the Latin letter they look like and runs of spaces made
// one. FoldName(FoldName(x)) == FoldName(x). Changing the folding changes the players'
// keys: a board's stored keys would have to be folded again.
std::string FoldName(std::string_view name);

// The Latin letter that `c` looks like, or `c` itself (for tests and the page's hint).
char32_t LookAlike(char32_t c);

}  // namespace board
