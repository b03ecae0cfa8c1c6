#include "platform/db/sqlite/date_collation.h"

#ifdef KVT710_SQLITE_MODULE
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3
#else
#include <sqlite3.h>
#endif

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/text/date.h"

namespace kvt710::db::sqlite {
namespace {

int Collate(void*, int n1, const void* p1, int n2, const void* p2) {
  return CompareCollationDates(
      std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
      std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
}

}  // namespace

int CompareCollationDates(std::string_view a, std::string_view b) {
  const std::optional<text::DateTime> da = text::ReadStoredDate(a);
  const std::optional<text::DateTime> db = text::ReadStoredDate(b);
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
