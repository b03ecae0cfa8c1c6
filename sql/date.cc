// The date test and the date formats. Separators are written as "/" and ":"
// whatever the machine's regional settings.
#include <charconv>
#include <string>

#include "sql/KVT710H1.h"

namespace kvt710::sql {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsCalendarDate(int year, int month, int day) {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

// Reads a run of min..max digits at `pos`; a longer run fails.
bool ReadNumber(std::string_view text, size_t& pos, size_t min, size_t max, int& out) {
  const size_t start = pos;
  int value = 0;
  while (pos < text.size() && pos - start < max && IsDigit(text[pos]))
    value = value * 10 + (text[pos++] - '0');
  if (pos - start < min || (pos < text.size() && IsDigit(text[pos]))) return false;
  out = value;
  return true;
}

bool ReadChar(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

// `value` in decimal with at least `width` digits, appended to `out`.
void AppendPadded(std::string& out, int value, size_t width) {
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  const auto size = static_cast<size_t>(end - digits);
  if (size < width) out.append(width - size, '0');
  out.append(digits, size);
}

// "a<separator>b<separator>c", a with at least `width` digits, b and c two.
void AppendTriple(std::string& out, int a, size_t width, char separator, int b, int c) {
  AppendPadded(out, a, width);
  out += separator;
  AppendPadded(out, b, 2);
  out += separator;
  AppendPadded(out, c, 2);
}

}  // namespace

std::optional<DateTime> ParseDate(std::string_view text) {
  text = Trim(text);
  size_t pos = 0;
  DateTime date{};
  date.hour = date.minute = date.second = 0;

  if (!ReadNumber(text, pos, 4, 4, date.year)) return std::nullopt;
  if (pos >= text.size() || (text[pos] != '/' && text[pos] != '-')) return std::nullopt;
  const char separator = text[pos++];
  if (!ReadNumber(text, pos, 1, 2, date.month) || !ReadChar(text, pos, separator) ||
      !ReadNumber(text, pos, 1, 2, date.day))
    return std::nullopt;

  if (pos < text.size()) {
    if (text[pos] != ' ') return std::nullopt;
    while (pos < text.size() && text[pos] == ' ') ++pos;
    if (!ReadNumber(text, pos, 1, 2, date.hour) || !ReadChar(text, pos, ':') ||
        !ReadNumber(text, pos, 2, 2, date.minute))
      return std::nullopt;
    if (pos < text.size() &&
        (!ReadChar(text, pos, ':') || !ReadNumber(text, pos, 2, 2, date.second)))
      return std::nullopt;
    if (pos != text.size() || date.hour > 23 || date.minute > 59 || date.second > 59)
      return std::nullopt;
  }

  if (!IsCalendarDate(date.year, date.month, date.day)) return std::nullopt;
  return date;
}

std::optional<DateTime> ParseYyyymmdd(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  for (char c : text)
    if (!IsDigit(c)) return std::nullopt;
  auto number = [&](size_t from, size_t to) {
    int value = 0;
    for (size_t i = from; i < to; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  const DateTime date{number(0, 4), number(4, 6), number(6, 8), 0, 0, 0};
  if (!IsCalendarDate(date.year, date.month, date.day)) return std::nullopt;
  return date;
}

void AppendDate(std::string& out, const DateTime& value) {
  AppendTriple(out, value.year, 4, '/', value.month, value.day);
}

void AppendDateTime(std::string& out, const DateTime& value) {
  AppendDate(out, value);
  out += ' ';
  AppendTriple(out, value.hour, 2, ':', value.minute, value.second);
}

void AppendMonthDay(std::string& out, const DateTime& value) {
  AppendPadded(out, value.month, 2);
  AppendPadded(out, value.day, 2);
}

std::string FormatDate(const DateTime& value) {
  std::string out;
  AppendDate(out, value);
  return out;
}

}  // namespace kvt710::sql
