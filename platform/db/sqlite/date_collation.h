// The KVTDATE collation of the SQLite backend: date columns are stored as text
// and compared by date value, so that '2009/12/31' < '20100101' holds while
// '2010/01/01' < '20100101' does not.
//
// A text is a date when text::ReadStoredDate reads it: yyyy/m/d, yyyy-m-d or
// yyyymmdd, optionally with a time, naming a real calendar day and time.
// Dates compare by (date, time), a date without time being midnight; every
// other text sorts after all dates, by its bytes. This is a total order, as
// indexes need.
//
// The same code registers the collation in the backend's connections and in
// the loadable module kvt710_sqlite, which gives it to other SQLite programs;
// compiled into the module (KVT710_SQLITE_MODULE), it calls SQLite through
// the function table that the loading program hands over.
#pragma once

#include <string_view>

struct sqlite3;

namespace kvt710::db::sqlite {

inline constexpr const char* kDateCollation = "KVTDATE";

// Negative, zero or positive as `a` sorts before, with or after `b`.
int CompareCollationDates(std::string_view a, std::string_view b);

// Registers the collation on `db`; SQLite's result code.
int RegisterDateCollation(sqlite3* db);

}  // namespace kvt710::db::sqlite
