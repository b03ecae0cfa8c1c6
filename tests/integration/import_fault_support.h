// Helpers of the import tests: demo customer lines, an import in this
// process and a snapshot of all ten tables (processes: cli/kvt710_process.h).
#pragma once

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "catalogue/catalogue.h"
#include "cli/demo_data.h"
#include "cli/import.h"
#include "cli/kvt710_process.h"
#include "cli/show.h"
#include "test_support.h"

namespace kvt710::testing_support {

inline std::string DemoLines(int64_t from, int64_t to) {
  std::string lines;
  for (int64_t i = from; i < to; ++i) lines += cli::DemoCustomerLine(1, i) + "\n";
  return lines;
}

inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

inline std::string Nested(const std::string& open, const std::string& close, int levels) {
  std::string opened, closed;
  for (int i = 0; i < levels; ++i) opened += open, closed += close;
  return opened + closed;
}

// Imports `lines` in this process; the rejects go to *rejects.
inline cli::ImportCounts ImportLines(const std::string& db, const std::string& lines,
                                     std::string* rejects = nullptr) {
  cli::Importer importer(db);
  std::istringstream in(lines);
  std::ostringstream rejected;
  const cli::ImportCounts counts = cli::ImportStream(importer, in, rejected, nullptr);
  if (rejects) *rejects = rejected.str();
  return counts;
}

// Every row of the ten tables, the update timestamps left out, sorted.
using Snapshot = std::map<std::string, std::vector<std::string>>;

inline Snapshot TakeSnapshot(const TestDatabase& database) {
  const auto connection = database.Connect();
  Snapshot tables;
  for (const catalogue::TableInfo& table : catalogue::Tables()) {
    std::vector<std::string>& rows = tables[table.name];
    for (auto& row : cli::Rows(*connection, "Select * From " + table.name)) {
      nlohmann::ordered_json kept = nlohmann::ordered_json::object();
      for (auto& [column, value] : row.items())
        if (!column.ends_with("_UPD_DATE") && !column.ends_with("_UPDATE") &&
            !column.ends_with("_UPD_DATETIME"))
          kept[column] = value;
      rows.push_back(kept.dump());
    }
    std::sort(rows.begin(), rows.end());
  }
  return tables;
}

}  // namespace kvt710::testing_support
