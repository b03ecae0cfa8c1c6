// libFuzzer target: the bytes of an import file through ImportStream into an
// SQLite database of the real schema, its tables emptied before each input.
// Every line that is not blank is imported or rejected with one rejects entry
// naming its line number and a reason; a rejected customer leaves no row.
#include <sqlite3.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "catalogue/catalogue.h"
#include "cli/import.h"
#include "injection_harness.h"
#include "platform/db/sqlite/date_collation.h"
#include "platform/text/number.h"

namespace kvt710 {
namespace {

using nlohmann::json;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "IMPORT PROPERTY VIOLATED: %s\n", what.c_str());
  std::abort();
}

struct Setup {
  sqlite3* db = nullptr;
  std::unique_ptr<cli::Importer> importer;
  sqlite3_stmt* count = nullptr;  // the rows of the ten tables that hold the key ?1
  Setup() {
    const std::string shop = (fuzz::PrivateShop() / "shop.db").string();
    importer = std::make_unique<cli::Importer>("Provider=SQLite;Data Source=" + shop);
    sqlite3_open(shop.c_str(), &db);
    db::sqlite::RegisterDateCollation(db);
    std::string sql = "Select 0";
    for (const catalogue::TableInfo& t : catalogue::Tables())
      sql += "+(Select Count(*) From " + t.name + " Where " + t.customer_key + " = ?1)";
    sqlite3_prepare_v2(db, sql.c_str(), -1, &count, nullptr);
  }
};

// Every value of a line that could name a customer, as the number the key
// column holds: the calls carry keys of their own, and "01" is customer 1.
void KeysNamed(const json& value, std::set<double>& keys) {
  if (value.is_structured()) {
    for (const json& item : value) KeysNamed(item, keys);
  } else if (value.is_string() || value.is_number()) {
    const std::string text = value.is_string() ? value.get<std::string>() : value.dump();
    if (text::IsKeyNumber(text)) keys.insert(*text::NumericValue(text));
  }
}

void CheckInput(const std::string& text) {
  static Setup setup;
  for (const catalogue::TableInfo& table : catalogue::Tables())
    sqlite3_exec(setup.db, ("Delete From " + table.name).c_str(), nullptr, nullptr, nullptr);
  const cli::ImportCounts before = setup.importer->counts();
  std::istringstream in(text);
  std::ostringstream rejects;
  cli::ImportStream(*setup.importer, in, rejects, nullptr);

  // The lines as the import numbers them.
  std::vector<std::string> lines;
  std::istringstream split(text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text);
  for (std::string line; std::getline(split, line);) lines.push_back(line);
  auto blank = [&](int64_t n) {
    return lines[n - 1].find_first_not_of(" \t\r") == std::string::npos;
  };
  std::set<int64_t> rejected;
  std::istringstream entries(rejects.str());
  for (std::string entry; std::getline(entries, entry);) {
    const json e = json::parse(entry, nullptr, false);
    const int64_t n = e.is_object() ? e.value("line", int64_t{0}) : 0;
    Check(n >= 1 && n <= static_cast<int64_t>(lines.size()) && rejected.insert(n).second,
          "a rejects entry without a line number of its own: " + entry);
    Check(!blank(n), "blank line " + std::to_string(n) + " rejected");
    const json errors = e.value("errors", json::array());
    Check(!errors.empty() && errors[0].value("description", "") != "",
          "line " + std::to_string(n) + " rejected without a reason");
  }
  std::set<double> imported_keys;
  int64_t steps = 0;
  for (size_t n = 1; n <= lines.size(); ++n) {
    steps += !blank(n);
    if (!blank(n) && !rejected.contains(n))
      KeysNamed(json::parse(lines[n - 1], nullptr, false), imported_keys);
  }
  const cli::ImportCounts after = setup.importer->counts();
  Check(after.rejected - before.rejected == static_cast<int64_t>(rejected.size()) &&
            after.imported - before.imported == steps - static_cast<int64_t>(rejected.size()),
        "not every line imported or rejected once");
  for (int64_t n : rejected) {
    std::set<double> keys;
    KeysNamed(json::parse(lines[n - 1], nullptr, false), keys);
    for (double key : keys) {
      if (imported_keys.contains(key)) continue;
      sqlite3_bind_double(setup.count, 1, key);
      const bool none =
          sqlite3_step(setup.count) == SQLITE_ROW && sqlite3_column_int64(setup.count, 0) == 0;
      sqlite3_reset(setup.count);
      Check(none, "rejected line " + std::to_string(n) + " left rows of a key it names");
    }
  }
}

}  // namespace
}  // namespace kvt710

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvt710::CheckInput(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
