// Characters and blanks: which bytes are digits and blanks, trimming, and
// ASCII case folding. Each kind of blank has its own name, as each question
// has its own answer: a value trims U+0020 only, a settings line also tabs,
// a connection string or a script line any ASCII white space.
#pragma once

#include <string>
#include <string_view>

namespace kvt710::text {

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The blank of a value: U+0020 only (tabs, line breaks and U+3000 are text).
constexpr bool IsSpace(char c) {
  return c == ' ';
}
// The blanks of a settings line and of automation's conversions.
constexpr bool IsSpaceOrTab(char c) {
  return c == ' ' || c == '\t';
}
// The blanks of a connection string, a schema script or an import line.
constexpr bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// `text` without the leading and trailing characters for which `blank` holds.
template <bool (*blank)(char)>
constexpr std::string_view TrimIf(std::string_view text) {
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Removes leading and trailing U+0020 only.
constexpr std::string_view Trim(std::string_view text) {
  return TrimIf<IsSpace>(text);
}
// True when Trim(text) is empty.
constexpr bool IsBlank(std::string_view text) {
  return Trim(text).empty();
}
constexpr std::string_view TrimSpaceAndTab(std::string_view text) {
  return TrimIf<IsSpaceOrTab>(text);
}
constexpr std::string_view TrimAsciiSpace(std::string_view text) {
  return TrimIf<IsAsciiSpace>(text);
}

constexpr char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char ToUpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
inline std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}
inline std::string ToUpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToUpperAscii(c);
  return out;
}

// Equality with ASCII letters compared case-insensitively (member, field,
// settings and connection-string key names); other bytes compare exactly.
constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  return true;
}

}  // namespace kvt710::text
