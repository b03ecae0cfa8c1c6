// UTF-8: the encoding of every text value, setting and message.
#pragma once

#include <cstddef>
#include <string_view>

namespace kvt710::text {

// The number of bytes of the well-formed UTF-8 sequence that starts at
// `text[at]` (1 to 4), or 0 when none starts there: a stray continuation
// byte, a truncated or overlong sequence, a surrogate, or beyond U+10FFFF.
// REQUIRED: at < text.size().
size_t Utf8SequenceLength(std::string_view text, size_t at);

// True for well-formed UTF-8 without NUL bytes: what a value may hold.
bool IsValidText(std::string_view text);

// The longest prefix of at most `max_bytes` bytes that does not end inside a
// UTF-8 sequence, for shortening a message without splitting a character.
std::string_view Utf8Prefix(std::string_view text, size_t max_bytes);

}  // namespace kvt710::text
