#include "platform/db/text_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/automation/error.h"
#include "platform/text/ascii.h"

namespace kvt710::db {
namespace {

using text::IsDigit;

Variant IntegerValue(int64_t value) {
  if (value >= std::numeric_limits<int32_t>::min() &&
      value <= std::numeric_limits<int32_t>::max()) {
    return Variant::Long(static_cast<int32_t>(value));
  }
  return Variant::Double(static_cast<double>(value));
}

std::optional<double> ParseDouble(std::string_view text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Numbers in the server's output form: "-12", "1000.00", "-1.25", "1e+20",
// "NaN", "Infinity". Integral values that fit 32 bits become Long.
Variant NumberValue(std::string_view text) {
  size_t pos = (!text.empty() && text[0] == '-') ? 1 : 0;
  const size_t int_begin = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  const size_t int_end = pos;
  bool integral = int_end > int_begin;
  if (integral && pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && text[pos] == '0') ++pos;
  }
  if (integral && pos == text.size()) {
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + int_end, value);
    if (ec == std::errc() && end == text.data() + int_end) return IntegerValue(value);
  }
  if (const auto value = ParseDouble(text)) return Variant::Double(*value);
  return Variant::String(std::string(text));
}

// Reads `count` digits at `pos` into `out`; false when they are not all digits.
bool ReadDigits(std::string_view text, size_t& pos, size_t count, int& out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = text[pos + i];
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  pos += count;
  out = value;
  return true;
}

// "yyyy-mm-dd" with an optional " hh:mm:ss[.ffffff][+zz[:zz]]" in ISO style.
// The fraction and the zone are dropped; BC dates and infinity stay text.
std::optional<DateTime> ParseIsoDateTime(std::string_view text, bool with_time) {
  DateTime dt;
  size_t pos = 0;
  size_t year_digits = 0;
  while (year_digits < text.size() && IsDigit(text[year_digits])) ++year_digits;
  if (year_digits < 4 || year_digits > 6) return std::nullopt;
  if (!ReadDigits(text, pos, year_digits, dt.year)) return std::nullopt;
  if (pos >= text.size() || text[pos++] != '-') return std::nullopt;
  if (!ReadDigits(text, pos, 2, dt.month)) return std::nullopt;
  if (pos >= text.size() || text[pos++] != '-') return std::nullopt;
  if (!ReadDigits(text, pos, 2, dt.day)) return std::nullopt;
  if (with_time) {
    if (pos >= text.size() || text[pos++] != ' ') return std::nullopt;
    if (!ReadDigits(text, pos, 2, dt.hour)) return std::nullopt;
    if (pos >= text.size() || text[pos++] != ':') return std::nullopt;
    if (!ReadDigits(text, pos, 2, dt.minute)) return std::nullopt;
    if (pos >= text.size() || text[pos++] != ':') return std::nullopt;
    if (!ReadDigits(text, pos, 2, dt.second)) return std::nullopt;
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      while (pos < text.size() && IsDigit(text[pos])) ++pos;
    }
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      ++pos;
      while (pos < text.size() && (IsDigit(text[pos]) || text[pos] == ':')) ++pos;
    }
  }
  if (pos != text.size()) return std::nullopt;
  if (dt.month < 1 || dt.month > 12 || dt.day < 1 || dt.day > 31) return std::nullopt;
  return dt;
}

}  // namespace

Variant ValueFromText(TextType type, std::string_view text) {
  switch (type) {
    case TextType::kNumber:
      return NumberValue(text);
    case TextType::kBoolean:
      if (text == "t" || text == "1") return Variant::Boolean(true);
      if (text == "f" || text == "0") return Variant::Boolean(false);
      break;
    case TextType::kDate:
    case TextType::kTimestamp:
      if (const auto dt = ParseIsoDateTime(text, type == TextType::kTimestamp))
        return Variant::Date(*dt);
      break;
    case TextType::kText:
      break;
  }
  return Variant::String(std::string(text));
}

std::string DoubleText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) throw Error(err::kInternal, "cannot format a number");
  return std::string(buffer, end);
}

std::optional<std::string> ParamText(const Variant& value) {
  switch (value.type()) {
    case Variant::Type::kEmpty:
    case Variant::Type::kMissing:
    case Variant::Type::kNull:
      return std::nullopt;
    case Variant::Type::kBoolean:
      return std::string(value.ToBool() ? "true" : "false");
    case Variant::Type::kInteger:
    case Variant::Type::kLong:
      return std::to_string(value.ToLong());
    case Variant::Type::kDouble:
      return DoubleText(value.ToDouble());
    case Variant::Type::kDate: {
      const DateTime dt = value.ToDate();
      char buffer[48];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", dt.year, dt.month,
                    dt.day, dt.hour, dt.minute, dt.second);
      return std::string(buffer);
    }
    case Variant::Type::kString:
      return value.string_ref();
    case Variant::Type::kObject:
    case Variant::Type::kArray:
      break;
  }
  throw Error(err::kTypeMismatch, "Type mismatch: a database value cannot be an object or array");
}

}  // namespace kvt710::db
