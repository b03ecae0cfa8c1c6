// The two shapes of a bare SQL literal that a caller may hand over already
// written: a number and a quoted text.
#pragma once

#include <string_view>

namespace kvt710::text {

// [+-]? (digits [. digits?] | . digits) ([eE] [+-]? digits)?, nothing around.
bool IsNumberLiteral(std::string_view text);

// A single-quoted text whose inner quotes are all doubled and whose content
// is valid text (IsValidText), nothing around.
bool IsQuotedLiteral(std::string_view text);

}  // namespace kvt710::text
