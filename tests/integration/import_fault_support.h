// Helpers of the import tests: demo customer lines and a snapshot of all ten
// tables (kvt710 processes: cli/kvt710_process.h).
#pragma once

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/demo_data.h"
#include "cli/kvt710_process.h"
#include "cli/show.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710::testing_support {

inline constexpr uint64_t kFaultSeed = 1;

inline std::string DemoLine(int64_t index) {
  return cli::DemoCustomerLine(kFaultSeed, index) + "\n";
}

inline std::string DemoLines(int64_t from, int64_t to) {
  std::string lines;
  for (int64_t i = from; i < to; ++i) lines += DemoLine(i);
  return lines;
}

inline std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

inline bool IsTimestampColumn(const std::string& column) {
  for (const std::string tail : {"_UPD_DATE", "_UPDATE", "_UPD_DATETIME"})
    if (column.size() >= tail.size() &&
        column.compare(column.size() - tail.size(), tail.size(), tail) == 0)
      return true;
  return false;
}

// Every row of the ten tables, timestamps left out, sorted.
using Snapshot = std::map<std::string, std::vector<std::string>>;

inline Snapshot TakeSnapshot(db::Connection& connection) {
  Snapshot tables;
  for (const catalogue::TableInfo& table : catalogue::Tables()) {
    std::vector<std::string>& rows = tables[table.name];
    for (auto& row : cli::Rows(connection, "Select * From " + table.name)) {
      nlohmann::ordered_json kept = nlohmann::ordered_json::object();
      for (auto& [column, value] : row.items())
        if (!IsTimestampColumn(column)) kept[column] = value;
      rows.push_back(kept.dump());
    }
    std::sort(rows.begin(), rows.end());
  }
  return tables;
}

// The rows that only one of two snapshots holds, for a failure message.
inline std::string SnapshotDifference(const Snapshot& left, const Snapshot& right) {
  std::string text;
  for (const auto& [table, rows] : left) {
    const auto found = right.find(table);
    const std::vector<std::string> other =
        found == right.end() ? std::vector<std::string>() : found->second;
    for (const std::string& row : rows)
      if (!std::binary_search(other.begin(), other.end(), row)) text += "- " + row + "\n";
    for (const std::string& row : other)
      if (!std::binary_search(rows.begin(), rows.end(), row)) text += "+ " + row + "\n";
  }
  return text;
}

inline Snapshot TakeSnapshot(const TestDatabase& database) {
  return TakeSnapshot(*database.Connect());
}

}  // namespace kvt710::testing_support
