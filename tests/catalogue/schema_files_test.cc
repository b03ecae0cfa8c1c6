// The schema files hold exactly the catalogue's tables: after a file's own
// opening comment, its text is the DDL made from the catalogue, byte for byte.
#include <algorithm>

#include "catalogue/catalogue.h"
#include "support/test_support.h"

namespace kvt710::catalogue {
namespace {

struct Dialect {
  const char* file;
  const char* types[4];              // by ColumnType: number, text, date, timestamp
  bool key_on_column;                // PRIMARY KEY on the column rather than a line of its own
  const char* table_options = "";    // after a table's closing parenthesis
  const char* text_key_length = "";  // after a text column in an index
};

std::string Join(const std::vector<std::string>& items, const char* between) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : between) + item;
  return text;
}

std::string Ddl(const Dialect& d) {
  std::string out;
  for (const TableInfo& table : Tables()) {
    size_t width = 0;
    for (const ColumnInfo& c : table.columns) width = std::max(width, c.name.size());
    std::vector<std::string> lines;
    for (const ColumnInfo& c : table.columns) {
      std::string line = "  " + c.name + std::string(width + 1 - c.name.size(), ' ') +
                         d.types[static_cast<int>(c.type)];
      if (table.customer_key_is_primary && c.name == table.customer_key)
        line += d.key_on_column ? " PRIMARY KEY" : " NOT NULL";
      lines.push_back(line);
    }
    if (table.customer_key_is_primary && !d.key_on_column)
      lines.push_back("  PRIMARY KEY (" + table.customer_key + ")");
    out += "\n-- " + table.description + "\nCREATE TABLE IF NOT EXISTS " + table.name + " (\n" +
           Join(lines, ",\n") + "\n)" + d.table_options + ";\n";
  }
  out += "\n-- Lookups by customer, family and newest visit.\n";
  for (const TableInfo& table : Tables())
    for (const IndexInfo& index : table.indexes) {
      std::vector<std::string> columns = index.columns;
      for (std::string& name : columns)
        for (const ColumnInfo& c : table.columns)
          if (c.name == name && c.type == ColumnType::kText) name += d.text_key_length;
      out += "CREATE INDEX IF NOT EXISTS " + index.name + " ON " + table.name + " (" +
             Join(columns, ", ") + ");\n";
    }
  return out;
}

TEST(SchemaFilesTest, AreTheCatalogueByteForByte) {
  const Dialect dialects[] = {
      {"schema/sqlite.sql",
       {"NUMERIC", "TEXT", "TEXT COLLATE KVTDATE", "TEXT COLLATE KVTDATE"},
       false},
      {"schema/postgresql.sql", {"numeric", "text", "date", "timestamp"}, true},
      {"schema/mariadb.sql",
       {"DOUBLE", "LONGTEXT", "DATE", "DATETIME"},
       false,
       " DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin",
       "(64)"},
  };
  for (const Dialect& d : dialects) {
    const std::string file = testing_support::ReadSourceFile(d.file);
    EXPECT_EQ(file, file.substr(0, file.find("\n\n") + 1) + Ddl(d)) << d.file;
  }
}

}  // namespace
}  // namespace kvt710::catalogue
