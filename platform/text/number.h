// Numbers written as text: the numeric test, plain numbers, key numbers and
// the exact rounding of numeric texts. Rounding works on the decimal digits
// of the text itself, never through a double, so halves are exact (2.675
// stays 2.675) and long numbers keep every digit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvt710::text {

// The numeric test: optional U+0020 blanks around, an optional sign, digits
// with an optional decimal point and "," thousands separators (each between
// two digits), an optional exponent (E or e, optionally signed digits); the
// value must be a finite double.
bool IsNumeric(std::string_view text);
// The value of a text with the numeric test's syntax, rounded to the nearest
// double: +-infinity beyond the range of a double, 0 below it. nullopt when
// the syntax does not fit.
std::optional<double> NumericValue(std::string_view text);

// A plain number, as keys must be: U+0020 blanks around, an optional sign,
// digits, an optional decimal part. No separators, no exponent.
bool IsPlainNumber(std::string_view text);
// Keys are written bare and must stay exact in every store they pass
// through: a double, SQLite's integer and PostgreSQL's numeric all hold
// 15 significant digits, so that two customers never meet in one row.
constexpr size_t kKeyDigits = 15;
// A key: a plain number of at most kKeyDigits significant digits (the whole
// part without leading zeros and the fraction without trailing zeros).
bool IsKeyNumber(std::string_view text);
// A key held as a double: finite, whole and below 10^15 in magnitude.
bool IsWholeKey(double key);

// The numeric text without its thousands separators.
void AppendWithoutSeparators(std::string& out, std::string_view numeric);

// Number pattern "0": the nearest whole number, halves away from zero, no
// separators, exponent resolved. nullopt when !IsNumeric(numeric).
std::optional<std::string> WholeNumber(std::string_view numeric);
// The nearest whole number with halves to even; nullopt when it does not fit
// 32 bits or !IsNumeric(numeric).
std::optional<int32_t> ToLongHalfEven(std::string_view numeric);

}  // namespace kvt710::text
