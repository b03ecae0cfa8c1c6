// `kvt710 show KEY`: one customer's rows of all ten tables as JSON, so a
// person can see what an import or a deletion did.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace kvt710 {
namespace db {
class Connection;
}

namespace cli {

// Every row of `sql` as an object (upper-cased column -> value), in column order.
nlohmann::ordered_json Rows(db::Connection& connection, const std::string& sql);

// {"CBASE":[{...}],"CMENTE_T":[...],...}: the customer's rows of each table.
// REQUIRED: text::IsKeyNumber(key).
nlohmann::ordered_json CustomerRows(db::Connection& connection, const std::string& key);

// The command. Returns 0, or 1 when no table holds a row of the customer.
int ShowCommand(const std::string& key, const std::optional<std::string>& db, std::ostream& out);

}  // namespace cli
}  // namespace kvt710
