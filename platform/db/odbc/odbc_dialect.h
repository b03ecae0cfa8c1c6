// What the ODBC backend must know of each database system behind a driver:
// the session settings that make the component's statement texts mean what
// they mean on the other databases, how a query asks for its first rows, a
// null-safe comparison, the catalogue queries and the schema script.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvt710::db::odbc {

struct Dialect {
  const char* name;  // as SQL_DBMS_NAME reports it
  // Run on every new connection: a backslash is an ordinary character in a
  // literal, dates read year first, values that do not fit are refused.
  std::vector<const char*> session;
  std::vector<const char*> read_only = {};  // run after `session` for Mode=ReadOnly
  // Sets the session's statement time limit, "%s" for the seconds, where the
  // driver's query timeout does not reach the server; nullptr: none.
  const char* time_limit = nullptr;
  // A query of one row that is not 0 unless `session` took effect; empty: none.
  const char* session_check = "";
  const char* schema = nullptr;      // the schema script's name ("mariadb"); nullptr: none
  bool first_rows_by_fetch = false;  // OFFSET 0 ROWS FETCH NEXT n ROWS ONLY rather than LIMIT n
  const char* null_safe_equals;      // "%c" for the column, "%v" for the value
  // The driver runs every statement of a text of several: the backend runs
  // such a text inside a savepoint or transaction and undoes it.
  bool runs_several_statements = false;
  // The driver describes a prepared statement's parameters by the types the
  // server infers (SQLDescribeParam), so that prepared shapes can take a
  // number bound where the text's number would read the same. Without it,
  // statements run as their texts.
  bool describes_parameters = false;
  // Catalogue queries, each with one "?" for the table's name as written:
  // one row if the table exists; the key's columns in order; the indexes' names.
  const char* has_table;
  const char* primary_key;
  const char* index_names;
};

// The dialect of the database system that SQL_DBMS_NAME names (compared
// without case); nullptr when none is known.
const Dialect* FindDialect(std::string_view dbms_name);

// The names of the known systems, for a message: "MariaDB, MySQL, ...".
std::string KnownSystems();

// "column <=> value" and the like, by the dialect's pattern.
std::string NullSafeEquals(const Dialect& dialect, const std::string& column,
                           const std::string& value);

}  // namespace kvt710::db::odbc
