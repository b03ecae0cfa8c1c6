#include "platform/db/statement.h"

namespace kvt710::db {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

void Statement::ShapeInto(std::string& out, bool numbered) const {
  out.clear();
  out.reserve(text_.size());
  size_t copied = 0;
  size_t n = 0;
  for (const Span& span : values_) {
    out.append(text_, copied, span.offset - copied);
    if (numbered) {
      char digits[24];
      size_t d = sizeof digits;
      for (size_t k = ++n; k > 0; k /= 10) digits[--d] = static_cast<char>('0' + k % 10);
      out += '$';
      out.append(digits + d, sizeof digits - d);
    } else {
      out += '?';
    }
    copied = span.offset + span.length;
  }
  out.append(text_, copied, std::string::npos);
}

LiteralKind KindOf(std::string_view literal) {
  if (literal.size() == 4 && (literal[0] | 0x20) == 'n' && (literal[1] | 0x20) == 'u' &&
      (literal[2] | 0x20) == 'l' && (literal[3] | 0x20) == 'l')
    return LiteralKind::kNull;
  if (literal.empty() || literal[0] != '\'') return LiteralKind::kNumber;
  // Quotes inside come in pairs; the last one closes the literal.
  if (literal.size() < 2 || literal.back() != '\'') return LiteralKind::kInvalid;
  for (size_t i = 1; i + 1 < literal.size(); ++i) {
    if (literal[i] != '\'') continue;
    if (i + 2 >= literal.size() || literal[i + 1] != '\'') return LiteralKind::kInvalid;
    ++i;
  }
  return LiteralKind::kText;
}

bool HasNoDoubledQuote(std::string_view literal) {
  return literal.substr(1, literal.size() - 2).find('\'') == std::string_view::npos;
}

std::string Unquoted(std::string_view literal) {
  const std::string_view inner = literal.substr(1, literal.size() - 2);
  std::string out;
  out.reserve(inner.size());
  for (size_t i = 0; i < inner.size(); ++i) {
    out += inner[i];
    if (inner[i] == '\'') ++i;  // the second quote of a pair
  }
  return out;
}

BareNumber ParseBareNumber(std::string_view literal) {
  BareNumber n;
  size_t begin = 0;
  size_t end = literal.size();
  while (begin < end && literal[begin] == ' ') ++begin;
  while (end > begin && literal[end - 1] == ' ') --end;
  const std::string_view text = literal.substr(begin, end - begin);
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) n.negative = text[i++] == '-';
  const size_t token_begin = i;
  bool digits = false;
  while (i < text.size() && IsDigit(text[i])) ++i, digits = true;
  n.integer = true;
  if (i < text.size() && text[i] == '.') {
    n.integer = false;
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, digits = true;
  }
  if (!digits) return n;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    n.integer = false;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i >= text.size() || !IsDigit(text[i])) return n;
    while (i < text.size() && IsDigit(text[i])) ++i;
  }
  if (i != text.size()) return n;
  n.valid = true;
  n.token = text.substr(token_begin);
  n.signed_text = text;
  return n;
}

}  // namespace kvt710::db
