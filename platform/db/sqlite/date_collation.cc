#include "platform/db/sqlite/date_collation.h"

#ifdef KVT710_SQLITE_MODULE
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3
#else
#include <sqlite3.h>
#endif

#include <algorithm>
#include <cstring>

namespace kvt710::db::sqlite {
namespace {

int Collate(void*, int n1, const void* p1, int n2, const void* p2) {
  return CompareCollationDates(
      std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
      std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads between `min` and `max` digits at `pos`; false when fewer are there.
bool ReadNumber(std::string_view text, size_t& pos, size_t min, size_t max, int& out) {
  size_t n = 0;
  int value = 0;
  while (pos + n < text.size() && n < max && IsDigit(text[pos + n])) {
    value = value * 10 + (text[pos + n] - '0');
    ++n;
  }
  if (n < min) return false;
  // More digits than allowed make the whole text something else.
  if (pos + n < text.size() && IsDigit(text[pos + n])) return false;
  pos += n;
  out = value;
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool ReadTime(std::string_view text, size_t& pos, DateValue& value) {
  if (pos == text.size()) return true;
  if (text[pos] == 'T') {
    ++pos;
  } else {
    if (text[pos] != ' ') return false;
    while (pos < text.size() && text[pos] == ' ') ++pos;
  }
  if (!ReadNumber(text, pos, 1, 2, value.hour)) return false;
  if (pos >= text.size() || text[pos] != ':') return false;
  ++pos;
  if (!ReadNumber(text, pos, 2, 2, value.minute)) return false;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ReadNumber(text, pos, 2, 2, value.second)) return false;
  }
  return pos == text.size() && value.hour <= 23 && value.minute <= 59 && value.second <= 59;
}

}  // namespace

std::optional<DateValue> ParseCollationDate(std::string_view text) {
  DateValue value;
  size_t pos = 0;
  if (text.size() >= 8 && IsDigit(text[4])) {
    // yyyymmdd
    for (size_t i = 0; i < 8; ++i) {
      if (!IsDigit(text[i])) return std::nullopt;
    }
    if (text.size() > 8 && IsDigit(text[8])) return std::nullopt;
    auto two = [&](size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); };
    value.year = two(0) * 100 + two(2);
    value.month = two(4);
    value.day = two(6);
    pos = 8;
  } else {
    if (!ReadNumber(text, pos, 4, 4, value.year)) return std::nullopt;
    if (pos >= text.size() || (text[pos] != '/' && text[pos] != '-')) return std::nullopt;
    const char separator = text[pos++];
    if (!ReadNumber(text, pos, 1, 2, value.month)) return std::nullopt;
    if (pos >= text.size() || text[pos] != separator) return std::nullopt;
    ++pos;
    if (!ReadNumber(text, pos, 1, 2, value.day)) return std::nullopt;
  }
  if (value.year < 1 || value.month < 1 || value.month > 12 || value.day < 1 ||
      value.day > DaysInMonth(value.year, value.month))
    return std::nullopt;
  if (!ReadTime(text, pos, value)) return std::nullopt;
  return value;
}

int CompareCollationDates(std::string_view a, std::string_view b) {
  const std::optional<DateValue> da = ParseCollationDate(a);
  const std::optional<DateValue> db = ParseCollationDate(b);
  if (da && db) {
    const auto order = *da <=> *db;
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  if (da) return -1;
  if (db) return 1;
  const size_t common = std::min(a.size(), b.size());
  const int bytes = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (bytes != 0) return bytes < 0 ? -1 : 1;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int RegisterDateCollation(sqlite3* db) {
  return sqlite3_create_collation_v2(db, kDateCollation, SQLITE_UTF8, nullptr, Collate, nullptr);
}

}  // namespace kvt710::db::sqlite
