#include "platform/text/date.h"

#include <charconv>

#include "platform/text/ascii.h"

namespace kvt710::text {
namespace {

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return month == 2 && leap ? 29 : kDays[month - 1];
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

// yyyy/m/d or yyyy-m-d at `pos`.
bool ReadSeparatedDate(std::string_view text, size_t& pos, DateTime& date) {
  if (!ReadNumber(text, pos, 4, 4, date.year)) return false;
  if (pos >= text.size() || (text[pos] != '/' && text[pos] != '-')) return false;
  const char separator = text[pos++];
  return ReadNumber(text, pos, 1, 2, date.month) && ReadChar(text, pos, separator) &&
         ReadNumber(text, pos, 1, 2, date.day);
}

// What follows the date: nothing, or U+0020 blanks (or "T" when `t_too`)
// and a time h:mm or h:mm:ss ending the text.
bool ReadTime(std::string_view text, size_t& pos, bool t_too, DateTime& date) {
  if (pos == text.size()) return true;
  if (t_too && text[pos] == 'T') {
    ++pos;
  } else {
    if (!IsSpace(text[pos])) return false;
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
  }
  if (!ReadNumber(text, pos, 1, 2, date.hour) || !ReadChar(text, pos, ':') ||
      !ReadNumber(text, pos, 2, 2, date.minute))
    return false;
  if (pos < text.size() && (!ReadChar(text, pos, ':') || !ReadNumber(text, pos, 2, 2, date.second)))
    return false;
  return pos == text.size() && date.hour <= 23 && date.minute <= 59 && date.second <= 59;
}

std::optional<DateTime> Valid(const DateTime& date) {
  if (!IsCalendarDate(date.year, date.month, date.day)) return std::nullopt;
  return date;
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

bool IsCalendarDate(int year, int month, int day) {
  return year >= 1 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

std::optional<DateTime> ReadDate(std::string_view text) {
  text = Trim(text);
  size_t pos = 0;
  DateTime date{0, 0, 0, 0, 0, 0};
  if (!ReadSeparatedDate(text, pos, date) || !ReadTime(text, pos, false, date)) return std::nullopt;
  return Valid(date);
}

std::optional<DateTime> ReadStoredDate(std::string_view text) {
  size_t pos = 0;
  DateTime date{0, 0, 0, 0, 0, 0};
  if (text.size() >= 8 && IsDigit(text[4])) {
    if (!ReadNumber(text, pos, 8, 8, date.year)) return std::nullopt;
    date.month = date.year / 100 % 100;
    date.day = date.year % 100;
    date.year /= 10000;
  } else if (!ReadSeparatedDate(text, pos, date)) {
    return std::nullopt;
  }
  if (!ReadTime(text, pos, true, date)) return std::nullopt;
  return Valid(date);
}

std::optional<DateTime> ReadYyyymmdd(std::string_view text) {
  size_t pos = 0;
  DateTime date{0, 0, 0, 0, 0, 0};
  if (text.size() != 8 || !ReadNumber(text, pos, 8, 8, date.year)) return std::nullopt;
  date.month = date.year / 100 % 100;
  date.day = date.year % 100;
  date.year /= 10000;
  return Valid(date);
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

}  // namespace kvt710::text
