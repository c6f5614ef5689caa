// Which names a player may take: besides being a name at all (ParseName), one a reader
// can tell from the others. Names already on a board before these rules keep working
// (their pages, their keys); the rules are for the names sent with a run.
#pragma once
#include <string>
#include <string_view>

namespace board {

// "" when `name` (as ParseName leaves it) may be taken, else the sentence that says why
// not: it has no letter (so "." and ".." are not names, nor pages a link can reach, and
// "007" is no name); it reads as a time ("0.001 s"); a mark is drawn through a letter or
// around it, or a letter has two accents ("Ale̵x" reads as Alex); it mixes alphabets (Latin with Cyrillic, Greek, Armenian, Cherokee...; Latin
// may go with Chinese, Japanese or Korean); it holds a letter that no language writes
// names with (small capitals, the Lisu letters); or digits of two kinds. Compatibility
// forms count as their plain letters: full-width "Ａｎｎ" is Latin.
std::string NameRefusal(std::string_view name);

}  // namespace board
