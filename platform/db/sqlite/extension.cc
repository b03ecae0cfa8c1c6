// The entry point of kvt710_sqlite, the loadable module that gives stock
// SQLite programs (the sqlite3 shell, Python's sqlite3) the date collation
// that the product's tables declare: without it they cannot check, vacuum,
// sort or change those columns. SQLite finds the entry point by the file's
// name, kvt710_sqlite -> sqlite3_kvtsqlite_init.
#include <sqlite3ext.h>

#include "platform/db/sqlite/date_collation.h"

SQLITE_EXTENSION_INIT1

extern "C" int sqlite3_kvtsqlite_init(sqlite3* db, char** /*error*/,
                                      const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  return kvt710::db::sqlite::RegisterDateCollation(db);
}
