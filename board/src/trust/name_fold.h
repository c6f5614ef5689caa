// Names belong to players, and names that a reader cannot tell apart are one name: the
// same letters in another case, in a compatibility form (full-width, ligatures,
// mathematical letters), or letters that look alike in common fonts (Unicode's
// confusables: Cyrillic "а" and Latin "a", capital "I" and "l", "0" and "O", "rn" and
// "m"). FoldName gives the one form under which they are compared and stored as the
// player's key.
#pragma once
#include <string>
#include <string_view>

namespace board {

// `name` is valid UTF-8 (as ParseName leaves it). The result is a key, not a name to
// show: lower case, look-alikes replaced by the letter they look like, marks under a
// letter dropped, runs of spaces made one. FoldName(FoldName(x)) == FoldName(x).
// Changing the folding changes the players' keys: the board folds its stored names
// again when it starts (store_names.cpp).
std::string FoldName(std::string_view name);

}  // namespace board
