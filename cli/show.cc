#include "cli/show.h"

#include <cctype>
#include <iostream>

#include "catalogue/catalogue.h"
#include "cli/common.h"
#include "cli/json_values.h"
#include "platform/db/connection.h"
#include "platform/text/ascii.h"

namespace kvt710::cli {

nlohmann::ordered_json Rows(db::Connection& connection, const std::string& sql) {
  nlohmann::ordered_json rows = nlohmann::ordered_json::array();
  auto recordset = connection.OpenRecordset(sql, db::CursorType::kStatic, db::LockType::kReadOnly);
  const std::vector<std::string> names = recordset->FieldNames();
  for (; !recordset->Eof(); recordset->MoveNext()) {
    nlohmann::ordered_json row = nlohmann::ordered_json::object();
    for (const std::string& name : names) {
      row[text::ToUpperAscii(name)] = ToJson(recordset->Field(name));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

nlohmann::ordered_json CustomerRows(db::Connection& connection, const std::string& key) {
  nlohmann::ordered_json tables = nlohmann::ordered_json::object();
  for (const catalogue::TableInfo& table : catalogue::Tables())
    tables[table.name] = Rows(
        connection, "Select * From " + table.name + " Where " + table.customer_key + "=" + key);
  return tables;
}

int ShowCommand(const std::string& key, const std::optional<std::string>& db, std::ostream& out) {
  const std::string number = std::to_string(ParseKey(key, "KEY"));
  auto connection = OpenDatabase(ResolveConnectionString(db), Access::kRead);
  RequireCustomerTables(*connection);
  nlohmann::ordered_json tables;
  try {
    tables = CustomerRows(*connection, number);
  } catch (const Error& e) {
    throw CommandError{kExitDatabase, "Reading the customer failed: " + e.description()};
  }
  out << tables.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
  for (const auto& [name, rows] : tables.items())
    if (!rows.empty()) return kExitOk;
  std::cerr << "kvt710: no table holds a row of customer " << key << "\n";
  return kExitFailed;
}

}  // namespace kvt710::cli
