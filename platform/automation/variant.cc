#include "platform/automation/variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/automation/dispatch.h"
#include "platform/automation/error.h"
#include "platform/text/ascii.h"
#include "platform/text/number.h"

namespace kvt710 {

namespace {

[[noreturn]] void ThrowTypeMismatch() {
  throw Error(err::kTypeMismatch, "Type mismatch");
}
[[noreturn]] void ThrowOverflow() {
  throw Error(err::kOverflow, "Overflow");
}
[[noreturn]] void ThrowInvalidNull() {
  throw Error(err::kInvalidUseOfNull, "Invalid use of Null");
}
[[noreturn]] void ThrowMissing() {
  throw Error(err::kNotOptional, "Argument not optional");
}

// Automation's numeric conversion: the numeric test, where blanks are also
// tabs and may follow the sign. nullopt when the text is not numeric; throws
// 6 when it is numeric but beyond the range of a Double.
std::optional<double> ParseNumber(std::string_view text) {
  std::string_view s = text::TrimSpaceAndTab(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s = text::TrimSpaceAndTab(s.substr(1));
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) return std::nullopt;
  }
  const std::optional<double> value = text::NumericValue(s);
  if (!value) return std::nullopt;
  if (std::isinf(*value)) ThrowOverflow();
  return negative ? -*value : *value;
}

// Automation's dates run from year 100 to 9999.
constexpr int kEarliestYear = 100;

// Automation's date conversion: the date test with tabs as blanks around.
std::optional<DateTime> ParseDate(std::string_view text) {
  std::optional<DateTime> d = text::ReadDate(text::TrimSpaceAndTab(text));
  if (!d || d->year < kEarliestYear) return std::nullopt;
  return d;
}

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, DateTime* out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  out->year = static_cast<int>(yoe + era * 400 + (m <= 2));
  out->month = static_cast<int>(m);
  out->day = static_cast<int>(d);
}

// Automation's date serial: days since 1899-12-30, the time as a fraction of
// a day whose sign follows the day count (-1.25 is 1899-12-29 06:00).
constexpr int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

double DateToSerial(const DateTime& d) {
  const int64_t days = DaysFromCivil(d.year, d.month, d.day) - kEpochDays;
  const double time = (d.hour * 3600 + d.minute * 60 + d.second) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

DateTime SerialToDate(double serial) {
  // Years 100 to 9999, as automation's dates.
  if (!(serial >= -657434.0 && serial < 2958466.0)) ThrowOverflow();
  double whole = std::trunc(serial);
  int64_t days = static_cast<int64_t>(whole);
  int64_t seconds = std::llround(std::fabs(serial - whole) * 86400.0);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += serial < 0 ? -1 : 1;
  }
  DateTime d;
  CivilFromDays(days + kEpochDays, &d);
  d.hour = static_cast<int>(seconds / 3600);
  d.minute = static_cast<int>(seconds / 60 % 60);
  d.second = static_cast<int>(seconds % 60);
  return d;
}

// Automation's text of a Double: at most 15 significant digits (0.1 + 0.2 is
// "0.3"), plain digits for exponents -5 < e < 15, otherwise "1.5E+20".
std::string FormatDouble(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return "0";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  std::string_view sci(buf, static_cast<size_t>(end - buf));
  bool negative = sci.front() == '-';
  if (negative) sci.remove_prefix(1);
  size_t e_pos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e_pos)) {
    if (c != '.') digits += c;
  }
  int exponent = 0;
  std::string_view exp_text = sci.substr(e_pos + 1);
  if (exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  const int n = static_cast<int>(digits.size());
  if (exponent >= 15 || exponent <= -5) {
    out += digits[0];
    if (n > 1) {
      out += '.';
      out.append(digits, 1);
    }
    char exp_buf[16];
    std::snprintf(exp_buf, sizeof exp_buf, "E%c%02d", exponent < 0 ? '-' : '+',
                  exponent < 0 ? -exponent : exponent);
    out += exp_buf;
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
  } else if (n <= exponent + 1) {
    out += digits;
    out.append(static_cast<size_t>(exponent + 1 - n), '0');
  } else {
    out.append(digits, 0, static_cast<size_t>(exponent + 1));
    out += '.';
    out.append(digits, static_cast<size_t>(exponent + 1));
  }
  return out;
}

// Automation's text of a date: the time only when it is not midnight.
std::string DateText(const DateTime& d) {
  std::string out;
  if (d.hour == 0 && d.minute == 0 && d.second == 0) {
    text::AppendDate(out, d);
  } else {
    text::AppendDateTime(out, d);
  }
  return out;
}

// Round half to even, then check the range of the integer type.
template <class Int>
Int RoundToInt(double value) {
  if (std::isnan(value)) ThrowOverflow();
  double r = std::nearbyint(value);
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max())) {
    ThrowOverflow();
  }
  return static_cast<Int>(r);
}

}  // namespace

Variant Variant::Missing() {
  Variant v;
  v.type_ = Type::kMissing;
  return v;
}

Variant Variant::Null() {
  Variant v;
  v.type_ = Type::kNull;
  return v;
}

Variant Variant::Boolean(bool value) {
  return Make(Type::kBoolean, value);
}
Variant Variant::Integer(int16_t value) {
  return Make(Type::kInteger, value);
}
Variant Variant::Long(int32_t value) {
  return Make(Type::kLong, value);
}
Variant Variant::Double(double value) {
  return Make(Type::kDouble, value);
}
Variant Variant::Date(DateTime value) {
  return Make(Type::kDate, value);
}
Variant Variant::String(std::string value) {
  return Make(Type::kString, std::move(value));
}
Variant Variant::Object(std::shared_ptr<Dispatch> value) {
  return Make(Type::kObject, std::move(value));
}
Variant Variant::Array(std::shared_ptr<SafeArray> value) {
  return Make(Type::kArray, std::move(value));
}

const std::string& Variant::string_ref() const {
  if (type_ != Type::kString) ThrowTypeMismatch();
  return std::get<std::string>(value_);
}

std::string Variant::ToString() const {
  switch (type_) {
    case Type::kEmpty:
      return {};
    case Type::kString:
      return std::get<std::string>(value_);
    case Type::kBoolean:
      return std::get<bool>(value_) ? "True" : "False";
    case Type::kInteger:
      return std::to_string(std::get<int16_t>(value_));
    case Type::kLong:
      return std::to_string(std::get<int32_t>(value_));
    case Type::kDouble:
      return FormatDouble(std::get<double>(value_));
    case Type::kDate:
      return DateText(std::get<DateTime>(value_));
    case Type::kNull:
      ThrowInvalidNull();
    case Type::kMissing:
      ThrowMissing();
    case Type::kObject:
    case Type::kArray:
      break;
  }
  ThrowTypeMismatch();
}

double Variant::ToDouble() const {
  switch (type_) {
    case Type::kEmpty:
      return 0;
    case Type::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case Type::kInteger:
      return std::get<int16_t>(value_);
    case Type::kLong:
      return std::get<int32_t>(value_);
    case Type::kDouble:
      return std::get<double>(value_);
    case Type::kDate:
      return DateToSerial(std::get<DateTime>(value_));
    case Type::kString: {
      std::optional<double> n = ParseNumber(std::get<std::string>(value_));
      if (!n) ThrowTypeMismatch();
      return *n;
    }
    case Type::kNull:
      ThrowInvalidNull();
    case Type::kMissing:
      ThrowMissing();
    case Type::kObject:
    case Type::kArray:
      break;
  }
  ThrowTypeMismatch();
}

int32_t Variant::ToLong() const {
  switch (type_) {
    case Type::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case Type::kInteger:
      return std::get<int16_t>(value_);
    case Type::kLong:
      return std::get<int32_t>(value_);
    default:
      return RoundToInt<int32_t>(ToDouble());
  }
}

int16_t Variant::ToInteger() const {
  switch (type_) {
    case Type::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case Type::kInteger:
      return std::get<int16_t>(value_);
    default:
      return RoundToInt<int16_t>(ToDouble());
  }
}

bool Variant::ToBool() const {
  switch (type_) {
    case Type::kBoolean:
      return std::get<bool>(value_);
    case Type::kString: {
      std::string_view s = text::TrimSpaceAndTab(std::get<std::string>(value_));
      if (text::EqualsIgnoreCase(s, "True")) return true;
      if (text::EqualsIgnoreCase(s, "False")) return false;
      return ToDouble() != 0;
    }
    default:
      return ToDouble() != 0;
  }
}

DateTime Variant::ToDate() const {
  switch (type_) {
    case Type::kDate:
      return std::get<DateTime>(value_);
    case Type::kString: {
      std::optional<DateTime> d = ParseDate(std::get<std::string>(value_));
      if (!d) ThrowTypeMismatch();
      return *d;
    }
    default:
      return SerialToDate(ToDouble());
  }
}

std::shared_ptr<Dispatch> Variant::ToObject() const {
  switch (type_) {
    case Type::kObject:
      return std::get<std::shared_ptr<Dispatch>>(value_);
    case Type::kEmpty:
    case Type::kNull:
      return nullptr;
    case Type::kMissing:
      ThrowMissing();
    default:
      ThrowTypeMismatch();
  }
}

std::shared_ptr<SafeArray> Variant::ToArray() const {
  if (type_ == Type::kMissing) ThrowMissing();
  if (type_ != Type::kArray) ThrowTypeMismatch();
  return std::get<std::shared_ptr<SafeArray>>(value_);
}

bool operator==(const Variant& a, const Variant& b) {
  return a.type_ == b.type_ && a.value_ == b.value_;
}

const char* TypeName(Variant::Type type) {
  switch (type) {
    case Variant::Type::kEmpty:
      return "Empty";
    case Variant::Type::kMissing:
      return "Error";
    case Variant::Type::kNull:
      return "Null";
    case Variant::Type::kBoolean:
      return "Boolean";
    case Variant::Type::kInteger:
      return "Integer";
    case Variant::Type::kLong:
      return "Long";
    case Variant::Type::kDouble:
      return "Double";
    case Variant::Type::kDate:
      return "Date";
    case Variant::Type::kString:
      return "String";
    case Variant::Type::kObject:
      return "Object";
    case Variant::Type::kArray:
      return "Variant()";
  }
  return "Unknown";
}

}  // namespace kvt710
