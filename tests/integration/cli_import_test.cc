// kvt710 import on each database: the demo's customers give the same rows on
// SQLite and PostgreSQL, importing twice changes nothing, and bad customers
// go to the rejects with their reasons while every other customer is stored.
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/demo_data.h"
#include "cli/import.h"
#include "cli/kvt710_process.h"
#include "cli/show.h"
#include "import_fault_support.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;
using testing_support::Backend;
using testing_support::RunKvt710;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

constexpr uint64_t kSeed = testing_support::kFaultSeed;
using testing_support::DemoLines;

// Every row of the ten tables, timestamps left out, sorted.
testing_support::Snapshot Snapshot(const TestDatabase& database) {
  return testing_support::TakeSnapshot(database);
}

cli::ImportCounts Import(const TestDatabase& database, const std::string& lines,
                         std::string* rejects = nullptr) {
  cli::Importer importer(database.connection_string());
  std::istringstream in(lines);
  std::ostringstream rejected;
  cli::ImportCounts counts = cli::ImportStream(importer, in, rejected, nullptr);
  if (rejects) *rejects = rejected.str();
  return counts;
}

std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(json::parse(line));
  return lines;
}

class CliImport : public ::testing::TestWithParam<Backend> {
 protected:
  // Settings of no database: the import takes its database from the caller alone.
  ScopedSettings settings_;
};

TEST_P(CliImport, RejectsBadCustomersAndStoresEveryOther) {
  // Customer 10001 with a second master row: the database refuses its
  // duplicate key when Execute runs the queue, after the first INSERT ran.
  json duplicate = cli::DemoCustomer(kSeed, 0);
  const json master_row = duplicate["calls"][0];
  duplicate["calls"].insert(duplicate["calls"].begin() + 1, master_row);
  // Customer "12A3": its key is not a number, so SetBaseData's check fails.
  json bad_key = cli::DemoCustomer(kSeed, 1);
  bad_key["key"] = "12A3";
  for (json& call : bad_key["calls"]) call.begin().value()["UniqueKey"] = "12A3";
  json unknown_method = cli::DemoCustomer(kSeed, 2);
  unknown_method["calls"].push_back({{"SetEverything", {{"UniqueKey", "10003"}}}});
  json unknown_parameter = cli::DemoCustomer(kSeed, 4);
  unknown_parameter["calls"][0]["SetBaseData"]["Nickname"] = "Taro";

  const std::string good = DemoLines(5, 12);
  const std::string input = DemoLines(12, 14) + duplicate.dump() + "\n" +
                            "{\"key\":\"10099\",\"calls\":[{\"SetBaseData\":{\n" +  // malformed
                            "\n" + bad_key.dump() + "\n" + unknown_method.dump() + "\n" +
                            unknown_parameter.dump() + "\n" + good;

  TestDatabase database(GetParam());
  std::string rejects;
  cli::ImportCounts counts = Import(database, input, &rejects);
  EXPECT_EQ(counts.imported, 9);
  EXPECT_EQ(counts.rejected, 5);

  std::vector<json> rejected = JsonLines(rejects);
  ASSERT_EQ(rejected.size(), 5u) << rejects;
  // The duplicate master row: rejected by the database at Execute.
  EXPECT_EQ(rejected[0]["line"], 3);
  EXPECT_EQ(rejected[0]["key"], "10001");
  EXPECT_EQ(rejected[0]["input"], duplicate.dump());
  EXPECT_EQ(rejected[0]["errors"][0]["call"], "Execute");
  EXPECT_FALSE(rejected[0]["errors"][0]["description"].get<std::string>().empty());
  // The malformed line, as it was.
  EXPECT_EQ(rejected[1]["line"], 4);
  EXPECT_EQ(rejected[1]["errors"][0]["call"], "line");
  EXPECT_EQ(rejected[1]["input"], "{\"key\":\"10099\",\"calls\":[{\"SetBaseData\":{");
  // The key that is not a number: SetBaseData returned -1 after its report.
  EXPECT_EQ(rejected[2]["line"], 6);
  EXPECT_EQ(rejected[2]["key"], "12A3");
  EXPECT_EQ(rejected[2]["errors"][0]["call"], "SetBaseData");
  ASSERT_FALSE(rejected[2]["reports"].empty());
  EXPECT_EQ(rejected[2]["reports"][0]["source"], "KVT710C3.SetBaseData");
  EXPECT_EQ(rejected[2]["reports"][0]["code"], "11015");
  EXPECT_EQ(rejected[3]["errors"][0]["call"], "SetEverything");
  EXPECT_EQ(rejected[3]["errors"][0]["number"], 438);
  EXPECT_EQ(rejected[4]["errors"][0]["number"], 448);
  EXPECT_NE(rejected[4]["errors"][0]["description"].get<std::string>().find("\"Nickname\""),
            std::string::npos);

  // Nothing of the rejected customers is stored: the database holds exactly
  // what the good customers alone give.
  TestDatabase expected(GetParam());
  EXPECT_EQ(Import(expected, DemoLines(12, 14) + good).rejected, 0);
  EXPECT_EQ(Snapshot(database), Snapshot(expected));
}

TEST_P(CliImport, ImportingTwiceGivesTheSameDatabase) {
  const std::string lines = DemoLines(0, 60);
  TestDatabase once(GetParam()), twice(GetParam());
  cli::ImportCounts first = Import(once, lines);
  EXPECT_EQ(first.rejected, 0);
  EXPECT_EQ(first.imported, 60);
  Import(twice, lines);
  cli::ImportCounts again = Import(twice, lines);
  EXPECT_EQ(again.rejected, 0);
  EXPECT_EQ(again.statements, first.statements);
  EXPECT_EQ(Snapshot(twice), Snapshot(once));
  // Families are counted and deletions marked, the second time too.
  EXPECT_EQ(once.Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=10003"), "1");
  EXPECT_EQ(twice.Scalar("Select CUBS_DATA_FLG From CBASE Where CUBS_UNIQUE_KEY=10013"), "2");
}

// A database that takes no writes stops the import at its first customer, as
// an unreachable one does, rather than rejecting every customer in turn.
TEST_P(CliImport, AReadOnlyDatabaseStopsTheImportAtOnce) {
  TestDatabase database(GetParam());
  const std::string read_only =
      database.connection_string() + (GetParam() == Backend::kSQLite
                                          ? ";Mode=ReadOnly"
                                          : "%20-cdefault_transaction_read_only%3Don");
  auto run = RunKvt710({"import", "-", "--db", read_only}, DemoLines(0, 3));
  EXPECT_EQ(run.exit_code, 4);
  const size_t stop = run.err.find("stopped at line 1: the database is read-only");
  EXPECT_NE(stop, std::string::npos)
      << run.err.substr(run.err.size() - std::min<size_t>(run.err.size(), 300));
}

INSTANTIATE_TEST_SUITE_P(Backends, CliImport, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

TEST(CliImportDatabases, DemoCustomersGiveTheSameRowsOnSQLiteAndPostgreSQL) {
  std::vector<Backend> backends = testing_support::TestBackends();
  if (backends.size() < 2) GTEST_SKIP() << "KVT710_TEST_PG names no PostgreSQL server";
  ScopedSettings settings;
  const std::string lines = DemoLines(0, 200);
  TestDatabase sqlite(Backend::kSQLite), postgres(Backend::kPostgreSQL);
  EXPECT_EQ(Import(sqlite, lines).rejected, 0);
  EXPECT_EQ(Import(postgres, lines).rejected, 0);
  auto left = Snapshot(sqlite), right = Snapshot(postgres);
  for (const cli::CustomerTable& table : cli::CustomerTables()) {
    EXPECT_FALSE(left[table.name].empty()) << table.name;
    EXPECT_EQ(left[table.name], right[table.name]) << table.name;
  }
}

TEST(CliImportCommand, WritesTheRejectsFileAndExitsWithOneWhenACustomerFails) {
  ScopedSettings settings;
  TempDir dir;
  TestDatabase database(Backend::kSQLite);
  const std::string input_file = (dir / "customers.jsonl").string(),
                    rejects_file = (dir / "rejects.jsonl").string();
  std::ofstream(input_file) << DemoLines(0, 5) << "not json\n";
  auto run = RunKvt710(
      {"import", input_file, "--db", database.connection_string(), "--rejects", rejects_file});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.out.find("imported 5, rejected 1, "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("customers/s"), std::string::npos) << run.out;
  std::ifstream rejects(rejects_file);
  std::string line;
  ASSERT_TRUE(std::getline(rejects, line));
  EXPECT_EQ(json::parse(line)["line"], 6);
  EXPECT_FALSE(std::getline(rejects, line));

  // Standard input, no progress line when standard error is no terminal; all imported.
  auto piped = RunKvt710({"import", "-", "--db", database.connection_string()}, DemoLines(0, 5));
  EXPECT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(piped.err, "");

  // A mistyped file: no command creates it, each names it and points to init.
  const std::string mistyped = (dir / "shpo.db").string();
  for (const std::vector<std::string>& args : {std::vector<std::string>{"import", input_file},
                                               {"show", "10001"},
                                               {"delete", "--key", "1"}}) {
    std::vector<std::string> command = args;
    command.insert(command.end(), {"--db", mistyped});
    auto missing = RunKvt710(command);
    EXPECT_EQ(missing.exit_code, 4) << args[0];
    EXPECT_NE(missing.err.find("no such database file: " + mistyped + " (kvt710 init creates one)"),
              std::string::npos)
        << missing.err;
    EXPECT_FALSE(std::filesystem::exists(mistyped)) << args[0];
  }

  // No --db and no settings: the settings file and key are named.
  auto unset = RunKvt710({"import", input_file});
  EXPECT_EQ(unset.exit_code, 3);
  EXPECT_NE(unset.err.find(settings.file().string()), std::string::npos) << unset.err;
  EXPECT_NE(unset.err.find("\"area\""), std::string::npos) << unset.err;

  // show writes nothing, not even the journal mode, so that a read-only file can be shown.
  database.Connect()->Execute("PRAGMA journal_mode=DELETE");
  auto show = RunKvt710({"show", "10001", "--db", database.connection_string()});
  ASSERT_EQ(show.exit_code, 0) << show.err;
  std::ifstream header(database.connection_string().substr(database.connection_string().find('/')),
                       std::ios::binary);
  header.seekg(18);  // the file format's write version: 1 rollback journal, 2 WAL
  EXPECT_EQ(header.get(), 1);
  json shown = json::parse(show.out);
  EXPECT_EQ(shown.size(), 10u);
  EXPECT_EQ(shown["CBASE"][0]["CUBS_UNIQUE_KEY"], 10001);
  EXPECT_EQ(shown["CMENTE_T"][0]["MTRN_UNIQUE_KEY"], 10001);
  EXPECT_EQ(RunKvt710({"show", "99999", "--db", database.connection_string()}).exit_code, 1);
  EXPECT_EQ(RunKvt710({"show", "1 OR 1=1", "--db", database.connection_string()}).exit_code, 2);
}

}  // namespace
}  // namespace kvt710
