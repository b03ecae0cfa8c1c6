// The nearest of a set of known words to a mistyped one, for messages that
// say "did you mean ...?".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvt710::text {

// Levenshtein distance: the fewest inserted, deleted or replaced characters.
size_t EditDistance(std::string_view a, std::string_view b);

// The candidate closest to `word` (ASCII case ignored), or "" when none is
// within half the word's length, so that a wild guess is never offered.
std::string Nearest(std::string_view word, const std::vector<std::string>& candidates);

}  // namespace kvt710::text
