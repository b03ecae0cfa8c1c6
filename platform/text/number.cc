#include "platform/text/number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/text/ascii.h"

namespace kvt710::text {
namespace {

// A numeric text taken apart. The value is the digit string with the
// decimal point after `point` digits (point may lie outside the string:
// negative means leading zeros after the point, beyond the end trailing
// zeros before it).
struct Decimal {
  bool negative = false;
  std::string digits;  // no leading zeros; empty for zero
  int64_t point = 0;
};

// Exponents are saturated here, far beyond any finite double, so that an
// absurd exponent neither overflows nor allocates.
constexpr int64_t kExponentLimit = 1'000'000'000;

// A numeric text's pieces, found without copying: an optional sign, whole
// digits (a separator may sit between two of them), an optional point with
// digits, an optional exponent.
struct Scan {
  bool valid = false;
  bool negative = false;
  std::string_view whole;     // separators included
  std::string_view fraction;  // after the point
  int64_t exponent = 0;
};

Scan ScanNumeric(std::string_view text) {
  text = Trim(text);
  const size_t n = text.size();
  size_t i = 0;
  Scan s;
  if (i < n && (text[i] == '+' || text[i] == '-')) s.negative = text[i++] == '-';
  const size_t whole_begin = i;
  while (i < n) {
    if (IsDigit(text[i])) {
      ++i;
    } else if (text[i] == ',' && i > whole_begin && i + 1 < n && IsDigit(text[i + 1])) {
      ++i;  // a separator sits between two digits
    } else {
      break;
    }
  }
  s.whole = text.substr(whole_begin, i - whole_begin);
  if (i < n && text[i] == '.') {
    const size_t fraction_begin = ++i;
    while (i < n && IsDigit(text[i])) ++i;
    s.fraction = text.substr(fraction_begin, i - fraction_begin);
  }
  if (s.whole.empty() && s.fraction.empty()) return s;

  if (i < n && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= n || !IsDigit(text[i])) return s;
    while (i < n && IsDigit(text[i]))
      s.exponent = std::min(s.exponent * 10 + (text[i++] - '0'), kExponentLimit);
    if (negative) s.exponent = -s.exponent;
  }
  s.valid = i == n;
  return s;
}

std::optional<Decimal> Parse(std::string_view text) {
  const Scan s = ScanNumeric(text);
  if (!s.valid) return std::nullopt;
  std::string all;
  all.reserve(s.whole.size() + s.fraction.size());
  for (char c : s.whole)
    if (c != ',') all += c;
  const auto whole_digits = static_cast<int64_t>(all.size());
  all += s.fraction;

  Decimal d;
  d.negative = s.negative;
  const size_t first = all.find_first_not_of('0');
  if (first == std::string::npos) return d;  // zero
  d.digits = all.substr(first);
  d.point = whole_digits - static_cast<int64_t>(first) + s.exponent;
  return d;
}

// True when the value converts to a finite double.
bool IsFinite(const Decimal& d) {
  // DBL_MAX has 309 digits before the point.
  if (d.digits.empty() || d.point <= 308) return true;
  if (d.point > 309) return false;
  const std::string normal = "0." + d.digits + "e309";
  double value = 0;
  auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  return ec == std::errc() && end == normal.data() + normal.size() && std::isfinite(value);
}

std::optional<Decimal> ParseNumeric(std::string_view numeric) {
  std::optional<Decimal> d = Parse(numeric);
  if (!d || !IsFinite(*d)) return std::nullopt;
  return d;
}

enum class Tie { kAwayFromZero, kToEven };

// The magnitude of `d` rounded to a whole number: digits without leading
// zeros, "0" for zero.
std::string RoundedMagnitude(const Decimal& d, Tie tie) {
  const auto size = static_cast<int64_t>(d.digits.size());
  if (d.digits.empty()) return "0";
  if (d.point >= size) return d.digits + std::string(static_cast<size_t>(d.point - size), '0');

  std::string whole = d.point > 0 ? d.digits.substr(0, static_cast<size_t>(d.point)) : "";
  // The first dropped digit decides; for a tie, what follows it and the parity.
  const char dropped = d.point >= 0 ? d.digits[static_cast<size_t>(d.point)] : '0';
  bool up = false;
  if (tie == Tie::kAwayFromZero) {
    up = dropped >= '5';
  } else if (dropped > '5') {
    up = true;
  } else if (dropped == '5') {
    const bool more =
        d.digits.find_first_not_of('0', static_cast<size_t>(d.point) + 1) != std::string::npos;
    const bool odd = !whole.empty() && (whole.back() - '0') % 2 == 1;
    up = more || odd;
  }
  if (!up) return whole.empty() ? "0" : whole;

  for (auto it = whole.rbegin(); it != whole.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return whole;
    }
    *it = '0';
  }
  return "1" + whole;
}

}  // namespace

bool IsNumeric(std::string_view text) {
  const Scan s = ScanNumeric(text);
  if (!s.valid) return false;
  // Fewer than 300 digits and no exponent cannot pass DBL_MAX.
  if (s.exponent == 0 && s.whole.size() < 300) return true;
  std::optional<Decimal> d = Parse(text);
  return d && IsFinite(*d);
}

std::optional<double> NumericValue(std::string_view text) {
  const std::optional<Decimal> d = Parse(text);
  if (!d) return std::nullopt;
  const double sign = d->negative ? -1.0 : 1.0;
  if (d->digits.empty()) return sign * 0.0;
  if (!IsFinite(*d)) return sign * HUGE_VAL;
  const std::string normal = "0." + d->digits + "e" + std::to_string(d->point);
  double value = 0;
  const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (ec == std::errc::result_out_of_range) return sign * 0.0;  // below the smallest double
  return sign * value;
}

bool IsPlainNumber(std::string_view text) {
  text = Trim(text);
  const size_t n = text.size();
  size_t i = 0;
  bool digit = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  for (; i < n && IsDigit(text[i]); ++i) digit = true;
  if (i < n && text[i] == '.') {
    for (++i; i < n && IsDigit(text[i]); ++i) digit = true;
  }
  return digit && i == n;
}

bool IsKeyNumber(std::string_view text) {
  if (!IsPlainNumber(text)) return false;
  text = Trim(text);
  if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
  const size_t point = std::min(text.find('.'), text.size());
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = text.substr(std::min(point + 1, text.size()));
  whole.remove_prefix(std::min(whole.find_first_not_of('0'), whole.size()));
  fraction = fraction.substr(0, fraction.find_last_not_of('0') + 1);
  return whole.size() + fraction.size() <= kKeyDigits;
}

bool IsWholeKey(double key) {
  return std::isfinite(key) && std::trunc(key) == key && std::fabs(key) < 1e15;
}

void AppendWithoutSeparators(std::string& out, std::string_view numeric) {
  for (size_t comma = numeric.find(','); comma != std::string_view::npos;
       comma = numeric.find(',')) {
    out.append(numeric.substr(0, comma));
    numeric.remove_prefix(comma + 1);
  }
  out.append(numeric);
}

std::optional<std::string> WholeNumber(std::string_view numeric) {
  // Most amounts are whole already: their digits without leading zeros.
  const Scan s = ScanNumeric(numeric);
  if (s.valid && s.fraction.empty() && s.exponent == 0 &&
      s.whole.find(',') == std::string_view::npos) {
    const size_t first = s.whole.find_first_not_of('0');
    if (first == std::string_view::npos) return "0";
    std::string whole = s.negative ? "-" : "";
    whole += s.whole.substr(first);
    return whole;
  }
  const std::optional<Decimal> d = ParseNumeric(numeric);
  if (!d) return std::nullopt;
  std::string magnitude = RoundedMagnitude(*d, Tie::kAwayFromZero);
  if (d->negative && magnitude != "0") magnitude.insert(0, 1, '-');
  return magnitude;
}

std::optional<int32_t> ToLongHalfEven(std::string_view numeric) {
  const std::optional<Decimal> d = ParseNumeric(numeric);
  if (!d) return std::nullopt;
  const std::string magnitude = RoundedMagnitude(*d, Tie::kToEven);
  if (magnitude.size() > 10) return std::nullopt;
  int64_t value = 0;
  for (char c : magnitude) value = value * 10 + (c - '0');
  if (d->negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace kvt710::text
