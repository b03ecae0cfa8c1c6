// Dates written as text: reading them, calendar validity and the formats
// yyyy/mm/dd, yyyy/mm/dd hh:mm:ss and MMDD. Separators are written as "/"
// and ":" whatever the machine's regional settings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvt710::text {

// A calendar date and time of day. The default is day zero of the host's
// date serial numbers.
struct DateTime {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
  friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

// True for a day of the proleptic Gregorian calendar, year 1 on.
bool IsCalendarDate(int year, int month, int day);

// The date test: year (four digits), month and day (one or two digits)
// separated by "/" or "-", optionally followed by U+0020 blanks and a time
// h:mm or h:mm:ss; U+0020 blanks around allowed; a real calendar day from
// year 1 on. nullopt when the test fails.
std::optional<DateTime> ReadDate(std::string_view text);
// A date as a date column holds it: the date test's forms without blanks
// around, the time also after "T", or yyyymmdd (eight digits, optionally
// followed by such a time). nullopt for any other text.
std::optional<DateTime> ReadStoredDate(std::string_view text);
// A date written yyyymmdd: exactly eight digits, nothing around them, and a
// real calendar day from year 1 on. nullopt otherwise.
std::optional<DateTime> ReadYyyymmdd(std::string_view text);

// The formats, appended to `out`.
void AppendDate(std::string& out, const DateTime& value);      // yyyy/mm/dd
void AppendDateTime(std::string& out, const DateTime& value);  // yyyy/mm/dd hh:mm:ss
void AppendMonthDay(std::string& out, const DateTime& value);  // MMDD
// The date format as a text of its own.
std::string FormatDate(const DateTime& value);

}  // namespace kvt710::text
