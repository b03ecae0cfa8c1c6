#include "platform/db/odbc/odbc_dialect.h"

#include "platform/text/ascii.h"

namespace kvt710::db::odbc {
namespace {

// The catalogue of MariaDB and MySQL is the connection's database; "||"
// joins texts, as it does on the other databases.
constexpr const char* kMySqlSession =
    "SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_BACKSLASH_ESCAPES,PIPES_AS_CONCAT,"
    "NO_ENGINE_SUBSTITUTION,ERROR_FOR_DIVISION_BY_ZERO,NO_ZERO_DATE,NO_ZERO_IN_DATE'";
constexpr const char* kMySqlCheck =
    "SELECT CASE WHEN @@SESSION.sql_mode LIKE '%NO_BACKSLASH_ESCAPES%' THEN 1 ELSE 0 END";
constexpr const char* kMySqlHasTable =
    "SELECT 1 FROM information_schema.tables WHERE table_schema = DATABASE() AND table_name = ?";
constexpr const char* kMySqlPrimaryKey =
    "SELECT UPPER(column_name) FROM information_schema.key_column_usage WHERE table_schema = "
    "DATABASE() AND table_name = ? AND constraint_name = 'PRIMARY' ORDER BY ordinal_position";
constexpr const char* kMySqlIndexNames =
    "SELECT DISTINCT UPPER(index_name) FROM information_schema.statistics WHERE table_schema = "
    "DATABASE() AND table_name = ?";

// MariaDB and MySQL share their dialect.
Dialect MySqlDialect(const char* name) {
  return {.name = name,
          // Read committed, as PostgreSQL's sessions run: a lock on a key
          // that is not there yet takes no range with it, which deadlocks
          // two importers that insert nearby keys at once.
          .session = {kMySqlSession, "SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED"},
          .read_only = {"SET SESSION TRANSACTION READ ONLY"},
          .time_limit = "SET SESSION max_statement_time = %s",
          .session_check = kMySqlCheck,
          .schema = "mariadb",
          .null_safe_equals = "%c <=> %v",
          .has_table = kMySqlHasTable,
          .primary_key = kMySqlPrimaryKey,
          .index_names = kMySqlIndexNames};
}

const Dialect kDialects[] = {
    MySqlDialect("MariaDB"),
    MySqlDialect("MySQL"),
    // Unquoted names fold to lower case, as the statements that name them do.
    {.name = "PostgreSQL",
     .session = {"SET standard_conforming_strings = on", "SET DateStyle = 'ISO, YMD'"},
     .read_only = {"SET default_transaction_read_only = on"},
     .time_limit = "SET statement_timeout = '%ss'",
     .session_check = "SELECT CASE WHEN current_setting('standard_conforming_strings') = 'on' "
                      "THEN 1 ELSE 0 END",
     .schema = "postgresql",
     .null_safe_equals = "%c IS NOT DISTINCT FROM %v",
     .runs_several_statements = true,
     .describes_parameters = true,
     .has_table = "SELECT 1 WHERE to_regclass(lower(?)) IS NOT NULL",
     .primary_key = "SELECT upper(a.attname) FROM pg_index i JOIN pg_attribute a ON a.attrelid = "
                    "i.indrelid AND a.attnum = ANY (i.indkey) WHERE i.indrelid = "
                    "to_regclass(lower(?)) AND i.indisprimary ORDER BY "
                    "array_position(i.indkey::int2[], a.attnum)",
     .index_names = "SELECT upper(c.relname) FROM pg_index i JOIN pg_class c ON c.oid = "
                    "i.indexrelid WHERE i.indrelid = to_regclass(lower(?))"},
    // No schema script and no read-only session; IS NOT DISTINCT FROM needs 2022 or later.
    {.name = "Microsoft SQL Server",
     .session = {"SET DATEFORMAT ymd"},
     .first_rows_by_fetch = true,
     .null_safe_equals = "%c IS NOT DISTINCT FROM %v",
     .has_table = "SELECT 1 FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_SCHEMA = SCHEMA_NAME() AND "
                  "TABLE_NAME = ?",
     .primary_key = "SELECT UPPER(k.COLUMN_NAME) FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS c JOIN "
                    "INFORMATION_SCHEMA.KEY_COLUMN_USAGE k ON k.CONSTRAINT_NAME = "
                    "c.CONSTRAINT_NAME AND k.TABLE_SCHEMA = c.TABLE_SCHEMA WHERE "
                    "c.CONSTRAINT_TYPE = 'PRIMARY KEY' AND c.TABLE_SCHEMA = SCHEMA_NAME() AND "
                    "c.TABLE_NAME = ? ORDER BY k.ORDINAL_POSITION",
     .index_names = "SELECT UPPER(name) FROM sys.indexes WHERE object_id = OBJECT_ID(?) AND name "
                    "IS NOT NULL"},
};

}  // namespace

const Dialect* FindDialect(std::string_view dbms_name) {
  for (const Dialect& dialect : kDialects) {
    if (text::EqualsIgnoreCase(text::TrimAsciiSpace(dbms_name), dialect.name)) return &dialect;
  }
  return nullptr;
}

std::string KnownSystems() {
  std::string names;
  for (const Dialect& dialect : kDialects)
    names += (names.empty() ? "" : ", ") + std::string(dialect.name);
  return names;
}

std::string NullSafeEquals(const Dialect& dialect, const std::string& column,
                           const std::string& value) {
  std::string out;
  for (const char* p = dialect.null_safe_equals; *p != '\0'; ++p) {
    if (p[0] == '%' && (p[1] == 'c' || p[1] == 'v')) {
      out += *++p == 'c' ? column : value;
    } else {
      out += *p;
    }
  }
  return out;
}

}  // namespace kvt710::db::odbc
