// Exact decimal numbers: a number text taken apart into its sign, its
// significant digits and a power of ten, without going through a double.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvt710::text {

// The value (negative ? -1 : 1) × digits × 10^exponent.
struct Decimal {
  bool negative = false;
  std::string digits;    // significant digits, no leading or trailing zeros; empty for zero
  int64_t exponent = 0;  // saturated far beyond any double's range
  bool whole = false;    // written without a decimal point and without an exponent

  bool operator==(const Decimal&) const = default;
};

// Whether the whole digits may carry "," thousands separators, each between
// two digits (the numeric test's numbers) or not (bare literals).
enum class Separators { kNone, kThousands };

// A number text's pieces as written: views into the text, nothing copied,
// for the questions that need no digits joined.
struct DecimalText {
  bool negative = false;
  std::string_view whole;     // the digits before the point, separators included
  std::string_view fraction;  // the digits after it
  size_t separators = 0;      // how many of whole's characters are separators
  bool point = false;
  bool exponent_written = false;
  int64_t exponent = 0;  // as written, saturated far beyond any double's range
};

// Scans an optional sign, digits (with separators if asked) and an optional
// decimal point (a digit on at least one side of it), then an optional
// exponent (E or e, an optional sign, digits). Nothing else, not even
// blanks; nullopt otherwise.
std::optional<DecimalText> ScanDecimalText(std::string_view text,
                                           Separators separators = Separators::kNone);
// The exact decimal that the pieces write.
Decimal ToDecimal(const DecimalText& text);
// ScanDecimalText, then ToDecimal.
std::optional<Decimal> ScanDecimal(std::string_view text,
                                   Separators separators = Separators::kNone);

// The value as a 64-bit integer, when it is whole and in range.
std::optional<int64_t> ToInt64(const Decimal& number);

// The value as a double (zero keeps its sign) when its digits times a power
// of five fit 53 bits, so that a double holds it exactly; nullopt otherwise.
std::optional<double> ToExactDouble(const Decimal& number);

}  // namespace kvt710::text
