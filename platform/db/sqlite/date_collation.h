// The KVTDATE collation of the SQLite backend: date columns are stored as text
// and compared by date value, so that '2009/12/31' < '20100101' holds while
// '2010/01/01' < '20100101' does not.
//
// A text is a date when it reads as yyyy/m/d, yyyy-m-d (month and day with one
// or two digits) or yyyymmdd, each optionally followed by blanks or "T" and a
// time h:mm or h:mm:ss, and names a real calendar day and time. Dates compare
// by (date, time), a date without time being midnight; every other text sorts
// after all dates, by its bytes. This is a total order, as indexes need.
//
// The same code registers the collation in the backend's connections and in
// the loadable module kvt710_sqlite, which gives it to other SQLite programs;
// compiled into the module (KVT710_SQLITE_MODULE), it calls SQLite through
// the function table that the loading program hands over.
#pragma once

#include <optional>
#include <string_view>

struct sqlite3;

namespace kvt710::db::sqlite {

struct DateValue {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  friend auto operator<=>(const DateValue&, const DateValue&) = default;
};

inline constexpr const char* kDateCollation = "KVTDATE";

// The date `text` denotes, or nullopt when it is not a date in the forms above.
std::optional<DateValue> ParseCollationDate(std::string_view text);

// Negative, zero or positive as `a` sorts before, with or after `b`.
int CompareCollationDates(std::string_view a, std::string_view b);

// Registers the collation on `db`; SQLite's result code.
int RegisterDateCollation(sqlite3* db);

}  // namespace kvt710::db::sqlite
