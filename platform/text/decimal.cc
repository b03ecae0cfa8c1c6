#include "platform/text/decimal.h"

#include <cmath>
#include <limits>

#include "platform/text/ascii.h"

namespace kvt710::text {
namespace {

constexpr int64_t kExponentLimit = 1'000'000'000;
constexpr uint64_t kExactLimit = uint64_t{1} << 53;  // every whole number up to it is a double

// The digits as a whole number, when they fit 64 bits.
std::optional<uint64_t> Significand(const std::string& digits) {
  if (digits.size() > 19) return std::nullopt;
  uint64_t s = 0;
  for (char c : digits) s = s * 10 + static_cast<uint64_t>(c - '0');
  return s;
}

}  // namespace

std::optional<DecimalText> ScanDecimalText(std::string_view text, Separators separators) {
  DecimalText t;
  const size_t n = text.size();
  size_t i = 0;
  if (i < n && (text[i] == '+' || text[i] == '-')) t.negative = text[i++] == '-';
  const size_t whole_begin = i;
  while (i < n) {
    if (IsDigit(text[i])) {
      ++i;
    } else if (separators == Separators::kThousands && text[i] == ',' && i > whole_begin &&
               i + 1 < n && IsDigit(text[i + 1])) {
      ++i;  // a separator sits between two digits
      ++t.separators;
    } else {
      break;
    }
  }
  t.whole = text.substr(whole_begin, i - whole_begin);
  if (i < n && text[i] == '.') {
    t.point = true;
    const size_t fraction_begin = ++i;
    while (i < n && IsDigit(text[i])) ++i;
    t.fraction = text.substr(fraction_begin, i - fraction_begin);
  }
  if (t.whole.empty() && t.fraction.empty()) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    t.exponent_written = true;
    bool minus = false;
    if (++i < n && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
    if (i >= n || !IsDigit(text[i])) return std::nullopt;
    for (; i < n && IsDigit(text[i]); ++i)
      t.exponent = std::min(t.exponent * 10 + (text[i] - '0'), kExponentLimit);
    if (minus) t.exponent = -t.exponent;
  }
  if (i != n) return std::nullopt;
  return t;
}

Decimal ToDecimal(const DecimalText& text) {
  Decimal d;
  d.negative = text.negative;
  d.whole = !text.point && !text.exponent_written;
  const std::string_view whole = text.whole;
  const std::string_view fraction = text.fraction;
  const size_t whole_digits = whole.size() - text.separators;
  const int64_t exponent = text.exponent;
  // The digits in one piece: most numbers have no fraction or separator.
  std::string joined;
  std::string_view all = whole;
  if (!fraction.empty() || text.separators != 0) {
    joined.reserve(whole.size() + fraction.size());
    for (char c : whole)
      if (c != ',') joined += c;
    joined.append(fraction);
    all = joined;
  }
  const size_t first = all.find_first_not_of('0');
  if (first == std::string::npos) return d;  // zero
  const size_t last = all.find_last_not_of('0');
  d.digits = all.substr(first, last - first + 1);
  // digits × 10^exponent: the zeros dropped at the end count, the fraction does not.
  d.exponent = exponent + static_cast<int64_t>(all.size() - 1 - last) -
               static_cast<int64_t>(all.size() - whole_digits);
  return d;
}

std::optional<Decimal> ScanDecimal(std::string_view text, Separators separators) {
  const std::optional<DecimalText> scanned = ScanDecimalText(text, separators);
  if (!scanned) return std::nullopt;
  return ToDecimal(*scanned);
}

std::optional<int64_t> ToInt64(const Decimal& number) {
  if (number.digits.empty()) return 0;
  if (number.exponent < 0 || number.exponent + static_cast<int64_t>(number.digits.size()) > 19)
    return std::nullopt;
  std::optional<uint64_t> s = Significand(number.digits);
  for (int64_t k = 0; s && k < number.exponent; ++k)
    s = *s > std::numeric_limits<uint64_t>::max() / 10 ? std::nullopt : std::optional(*s * 10);
  if (!s) return std::nullopt;
  constexpr uint64_t kMax = std::numeric_limits<int64_t>::max();
  if (*s <= kMax) return number.negative ? -static_cast<int64_t>(*s) : static_cast<int64_t>(*s);
  if (number.negative && *s == kMax + 1) return std::numeric_limits<int64_t>::min();
  return std::nullopt;
}

std::optional<double> ToExactDouble(const Decimal& number) {
  const double sign = number.negative ? -1.0 : 1.0;
  if (number.digits.empty()) return sign * 0.0;
  std::optional<uint64_t> s = Significand(number.digits);
  if (!s) return std::nullopt;
  // s × 10^e = (s × 5^e) × 2^e and s / 10^k = (s / 5^k) / 2^k: a double
  // exactly when the odd part, a whole number, fits 53 bits.
  uint64_t odd = *s;
  if (number.exponent >= 0) {
    for (int64_t k = 0; k < number.exponent; ++k) {
      if (odd > kExactLimit / 5) return std::nullopt;
      odd *= 5;
    }
  } else {
    if (number.exponent < -27) return std::nullopt;  // 5^28 divides no 19-digit number
    uint64_t five = 1;
    for (int64_t k = 0; k < -number.exponent; ++k) five *= 5;
    if (odd % five != 0) return std::nullopt;
    odd /= five;
  }
  if (odd > kExactLimit) return std::nullopt;
  return sign * std::ldexp(static_cast<double>(odd), static_cast<int>(number.exponent));
}

}  // namespace kvt710::text
