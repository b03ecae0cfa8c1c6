#include "platform/db/product_schema.h"

#include <algorithm>
#include <cctype>
#include <regex>

#include "platform/automation/error.h"
#include "platform/db/backend.h"
#include "platform/db/connection.h"
#include "platform/db/schema.h"
#include "platform/text/ascii.h"
#include "schema_scripts.h"

namespace kvt710::db {

namespace {

// The product schema's script in the dialect of the database behind `connection`.
const char* SchemaScript(Connection& connection) {
  const std::string name = connection.backend().SchemaScript();
  if (name == "sqlite") return kSchema_sqlite;
  if (name == "postgresql") return kSchema_postgresql;
  if (name == "mariadb") return kSchema_mariadb;
  throw Error(err::kProvider,
              "There is no schema script for this database; create the tables as schema/ "
              "shows them for another database",
              "kvt710");
}

}  // namespace

void CreateProductSchema(Connection& connection) {
  ApplySchema(connection, SchemaScript(connection));
}

std::vector<std::string> CheckProductSchema(Connection& connection) {
  Backend& backend = connection.backend();
  std::vector<std::string> problems;
  // The script is what the tables should be: each table with its key, then
  // the indexes.
  const std::string script = SchemaScript(connection);
  static const std::regex kPart(
      R"(CREATE TABLE IF NOT EXISTS (\w+)|PRIMARY KEY \(([^)]*)\)|CREATE INDEX IF NOT EXISTS (\w+) ON (\w+))",
      std::regex::icase);
  std::string table;
  bool present = false;
  for (std::sregex_iterator it(script.begin(), script.end(), kPart), end; it != end; ++it) {
    const std::smatch& m = *it;
    if (m[1].matched) {
      table = text::ToUpperAscii(m[1].str());
      present = backend.HasTable(table);
      if (!present) problems.push_back("table " + table + " is missing");
    } else if (m[2].matched && present) {
      std::string expected =
          std::regex_replace(text::ToUpperAscii(m[2].str()), std::regex("\\s+"), "");
      std::string key;
      for (const std::string& column : backend.PrimaryKey(table))
        key += (key.empty() ? "" : ",") + column;
      if (key != expected)
        problems.push_back("table " + table + " has key (" + key + "), not (" + expected + ")");
    } else if (m[3].matched) {
      const std::string index = text::ToUpperAscii(m[3].str()), on = text::ToUpperAscii(m[4].str());
      if (!backend.HasTable(on)) continue;
      const std::vector<std::string> names = backend.IndexNames(on);
      if (std::find(names.begin(), names.end(), index) == names.end())
        problems.push_back("index " + index + " on " + on + " is missing");
    }
  }
  for (std::string& problem : backend.CheckStorage()) problems.push_back(std::move(problem));
  return problems;
}

}  // namespace kvt710::db
