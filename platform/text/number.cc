#include "platform/text/number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/text/ascii.h"
#include "platform/text/decimal.h"

namespace kvt710::text {
namespace {

// A numeric text's pieces: blanks around trimmed, separators allowed.
std::optional<DecimalText> ScanNumeric(std::string_view text) {
  return ScanDecimalText(Trim(text), Separators::kThousands);
}

// Fewer than 300 digits and no exponent cannot pass DBL_MAX.
bool IsShortWhole(const DecimalText& t) {
  return t.exponent == 0 && t.whole.size() < 300;
}

// The number of digits before the decimal point of digits × 10^exponent
// (negative: zeros after the point before the first digit).
int64_t Point(const Decimal& d) {
  return static_cast<int64_t>(d.digits.size()) + d.exponent;
}

// True when the value converts to a finite double.
bool IsFinite(const Decimal& d) {
  // DBL_MAX has 309 digits before the point.
  if (d.digits.empty() || Point(d) <= 308) return true;
  if (Point(d) > 309) return false;
  const std::string normal = "0." + d.digits + "e309";
  double value = 0;
  auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  return ec == std::errc() && end == normal.data() + normal.size() && std::isfinite(value);
}

// A plain number's pieces: blanks around trimmed, no separators, no exponent.
std::optional<DecimalText> ScanPlain(std::string_view text) {
  std::optional<DecimalText> t = ScanDecimalText(Trim(text));
  if (!t || t->exponent_written) return std::nullopt;
  return t;
}

std::optional<Decimal> ParseNumeric(std::string_view numeric) {
  const std::optional<DecimalText> t = ScanNumeric(numeric);
  if (!t) return std::nullopt;
  Decimal d = ToDecimal(*t);
  if (!IsFinite(d)) return std::nullopt;
  return d;
}

enum class Tie { kAwayFromZero, kToEven };

// The magnitude of `d` rounded to a whole number: digits without leading
// zeros, "0" for zero.
std::string RoundedMagnitude(const Decimal& d, Tie tie) {
  if (d.digits.empty()) return "0";
  if (d.exponent >= 0) return d.digits + std::string(static_cast<size_t>(d.exponent), '0');
  const int64_t point = Point(d);

  std::string whole = point > 0 ? d.digits.substr(0, static_cast<size_t>(point)) : "";
  // The first dropped digit decides; for a tie, what follows it and the parity.
  const char dropped = point >= 0 ? d.digits[static_cast<size_t>(point)] : '0';
  bool up = false;
  if (tie == Tie::kAwayFromZero) {
    up = dropped >= '5';
  } else if (dropped > '5') {
    up = true;
  } else if (dropped == '5') {
    const bool more =
        d.digits.find_first_not_of('0', static_cast<size_t>(point) + 1) != std::string::npos;
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
  const std::optional<DecimalText> t = ScanNumeric(text);
  return t && (IsShortWhole(*t) || IsFinite(ToDecimal(*t)));
}

std::optional<double> NumericValue(std::string_view text) {
  const std::optional<DecimalText> t = ScanNumeric(text);
  if (!t) return std::nullopt;
  const Decimal d = ToDecimal(*t);
  const double sign = d.negative ? -1.0 : 1.0;
  if (d.digits.empty()) return sign * 0.0;
  if (!IsFinite(d)) return sign * HUGE_VAL;
  const std::string normal = "0." + d.digits + "e" + std::to_string(Point(d));
  double value = 0;
  const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (ec == std::errc::result_out_of_range) return sign * 0.0;  // below the smallest double
  return sign * value;
}

bool IsPlainNumber(std::string_view text) {
  return ScanPlain(text).has_value();
}

bool IsKeyNumber(std::string_view text) {
  const std::optional<DecimalText> t = ScanPlain(text);
  if (!t) return false;
  std::string_view whole = t->whole;
  whole.remove_prefix(std::min(whole.find_first_not_of('0'), whole.size()));
  const std::string_view fraction = t->fraction.substr(0, t->fraction.find_last_not_of('0') + 1);
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
  const std::optional<DecimalText> t = ScanNumeric(numeric);
  if (t && t->fraction.empty() && t->separators == 0 && IsShortWhole(*t)) {
    const size_t first = t->whole.find_first_not_of('0');
    if (first == std::string_view::npos) return "0";
    std::string whole = t->negative ? "-" : "";
    whole += t->whole.substr(first);
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
