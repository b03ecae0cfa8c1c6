#include "platform/db/sqlite/sqlite_number.h"

#include <cmath>
#include <limits>
#include <string>

namespace kvt710::db::sqlite {
namespace {

constexpr uint64_t kExactLimit = uint64_t{1} << 53;  // every whole number up to it is a double
constexpr size_t kMostSignificantDigits = 17;        // all of which SQLite's routine keeps

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

Number Real(double value, bool negative) {
  Number n;
  n.kind = Number::Kind::kReal;
  n.real = negative ? -value : value;
  return n;
}

Number AskSqlite() {
  Number n;
  n.kind = Number::Kind::kAskSqlite;
  return n;
}

// The token's value as significant digits times a power of ten, when it is a
// double exactly; AskSqlite otherwise.
Number ExactReal(std::string_view token, bool negative) {
  std::string digits;
  int64_t exponent = 0;
  size_t i = 0;
  while (i < token.size() && IsDigit(token[i])) digits += token[i++];
  if (i < token.size() && token[i] == '.') {
    for (++i; i < token.size() && IsDigit(token[i]); ++i) {
      digits += token[i];
      --exponent;
    }
  }
  if (i < token.size()) {  // the exponent: E or e, an optional sign, digits
    ++i;
    bool minus = false;
    if (token[i] == '+' || token[i] == '-') minus = token[i++] == '-';
    int64_t e = 0;
    for (; i < token.size(); ++i) e = std::min<int64_t>(e * 10 + (token[i] - '0'), 100000);
    exponent += minus ? -e : e;
  }
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return Real(0.0, negative);
  const size_t last = digits.find_last_not_of('0');
  exponent += static_cast<int64_t>(digits.size() - last - 1);
  const size_t count = last - first + 1;
  if (count > kMostSignificantDigits) return AskSqlite();
  uint64_t s = 0;
  for (size_t k = first; k <= last; ++k) s = s * 10 + static_cast<uint64_t>(digits[k] - '0');

  if (exponent >= 0) {
    for (int64_t k = 0; k < exponent; ++k) {
      if (s > kExactLimit / 10) return AskSqlite();
      s *= 10;
    }
    if (s > kExactLimit) return AskSqlite();
    return Real(static_cast<double>(s), negative);
  }
  // s / 10^k is a double exactly when 5^k divides s and what remains fits 53 bits.
  const int64_t k = -exponent;
  if (k > 22) return AskSqlite();
  uint64_t five = 1;
  for (int64_t j = 0; j < k; ++j) five *= 5;
  if (s % five != 0 || s / five > kExactLimit) return AskSqlite();
  return Real(std::ldexp(static_cast<double>(s / five), static_cast<int>(exponent)), negative);
}

}  // namespace

Number ToNumber(const BareNumber& number) {
  if (!number.integer) return ExactReal(number.token, number.negative);
  // Digits only: an integer when it fits, as SQLite's own reading does it.
  const std::string_view token = number.token;
  const size_t first = token.find_first_not_of('0');
  if (first == std::string_view::npos) return Number{};  // zero (also "-0")
  if (token.size() - first > 19) return ExactReal(token, number.negative);
  uint64_t value = 0;
  for (size_t k = first; k < token.size(); ++k)
    value = value * 10 + static_cast<uint64_t>(token[k] - '0');
  constexpr uint64_t kMax = std::numeric_limits<int64_t>::max();
  Number n;
  if (value <= kMax) {
    n.integer = number.negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
  } else if (value == kMax + 1 && number.negative) {
    n.integer = std::numeric_limits<int64_t>::min();
  } else {
    return ExactReal(token, number.negative);
  }
  return n;
}

}  // namespace kvt710::db::sqlite
