// Applying a schema script (schema/sqlite.sql, schema/postgresql.sql) through
// a Connection.
#pragma once

#include <string>
#include <vector>

#include "platform/db/connection.h"

namespace kvt710::db {

// The statements of a script: a statement ends at a line whose last non-blank
// character is ";" (the ";" is dropped); blank lines and lines starting with
// "--" are skipped; text after the last ";" counts as one more statement.
std::vector<std::string> SplitSchemaScript(const std::string& script_text);

// Runs every statement of the script in order on `connection` (which must be
// open). Throws the first failure, which the connection also records; the
// statements before it stay in effect.
void ApplySchema(Connection& connection, const std::string& script_text);

}  // namespace kvt710::db
