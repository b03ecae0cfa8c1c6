// kvt710 import on each database: the demo's customers give the same rows on
// SQLite and PostgreSQL, importing twice changes nothing, and bad customers
// go to the rejects with their reasons while every other customer is stored.
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "catalogue/catalogue.h"
#include "cli/common.h"
#include "cli/demo_data.h"
#include "cli/import.h"
#include "cli/kvt710_process.h"
#include "cli/script.h"
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
using testing_support::DemoLine;
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
  // Two 20-digit keys that a double would store as one number: both are
  // refused rather than merged into one row.
  std::string long_keys;
  for (int64_t i : {1, 3}) {
    json customer = cli::DemoCustomer(kSeed, i);
    const std::string key = "1234567890123456789" + std::to_string(i);
    customer["key"] = key;
    json calls = json::array();
    for (json& call : customer["calls"]) {
      if (call.begin().key().rfind("Set", 0) != 0) continue;  // family calls name no UniqueKey
      call.begin().value()["UniqueKey"] = key;
      calls.push_back(call);
    }
    customer["calls"] = calls;
    long_keys += customer.dump() + "\n";
  }

  const std::string good = DemoLines(5, 12);
  const std::string input = DemoLines(12, 14) + duplicate.dump() + "\n" +
                            "{\"key\":\"10099\",\"calls\":[{\"SetBaseData\":{\n" +  // malformed
                            "\n" + bad_key.dump() + "\n" + unknown_method.dump() + "\n" +
                            unknown_parameter.dump() + "\n" + good + long_keys;

  TestDatabase database(GetParam());
  std::string rejects;
  cli::ImportCounts counts = Import(database, input, &rejects);
  EXPECT_EQ(counts.imported, 9);
  EXPECT_EQ(counts.rejected, 7);

  std::vector<json> rejected = JsonLines(rejects);
  ASSERT_EQ(rejected.size(), 7u) << rejects;
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
  EXPECT_NE(rejected[4]["errors"][0]["description"].get<std::string>().find(
                "has no parameter Nickname (its parameters: StoreCd, "),
            std::string::npos);
  for (const json& reject : {rejected[5], rejected[6]}) {
    EXPECT_EQ(reject["errors"][0]["call"], "SetBaseData");
    EXPECT_EQ(reject["reports"][0]["code"], "11015");
  }

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
  for (const catalogue::TableInfo& table : catalogue::Tables()) {
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

  // A database string that cannot be used names what to fix: the settings
  // file and key (exit 3), or the --db text (exit 2; 4 once the provider refuses it).
  const std::string unknown_key = database.connection_string() + ";Prepared Statement=false";
  const struct {
    const char* name;
    std::string settings;
    std::optional<std::string> db;
    int exit_code;
    std::vector<std::string> told;
  } wrong[] = {
      {"garbage",
       "area=1\nDBPARMC=garbage",
       {},
       3,
       {settings.file().string(), "DBPARMC", "malformed"}},
      {"unknown key",
       "area=1\nDBPARMC=" + unknown_key,
       {},
       3,
       {settings.file().string(), "DBPARMC", "did you mean 'Prepared Statements'?"}},
      {"blank area",
       "area = 1\nDBPARMC=" + database.connection_string(),
       {},
       3,
       {settings.file().string(), "\" 1\""}},
      {"--db unknown key", "", unknown_key, 4, {"did you mean 'Prepared Statements'?"}},
      {"--db scheme", "", "sqlite:///x.db", 2, {"sqlite://", "postgresql://"}},
      {"--db no provider", "", "Data Source=x.db", 2, {"Provider=", "names no provider"}},
  };
  for (const auto& c : wrong) {
    std::ofstream(settings.file()) << "[QTMS\\Common]\n" << c.settings << "\n";
    std::vector<std::string> args = {"show", "10001"};
    if (c.db) args.insert(args.end(), {"--db", *c.db});
    const auto run = RunKvt710(args);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.name << ": " << run.err;
    for (const std::string& text : c.told)
      EXPECT_NE(run.err.find(text), std::string::npos) << c.name << ": " << run.err;
  }
  // A settings file that cannot be read says so and why.
  std::filesystem::remove(settings.file());
  std::filesystem::create_directory(settings.file());
  const auto unreadable = RunKvt710({"show", "10001"});
  EXPECT_EQ(unreadable.exit_code, 3);
  EXPECT_NE(unreadable.err.find("Cannot read settings file " + settings.file().string() +
                                ": Is a directory"),
            std::string::npos)
      << unreadable.err;
  std::filesystem::remove(settings.file());

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

// On a terminal, without --rejects: a short line per rejected customer, the
// JSON lines in a file of the current folder named in the summary.
TEST(CliImportCommand, OnATerminalRejectsAreShortLinesAndAFile) {
  ScopedSettings settings;
  TempDir dir;
  TestDatabase database(Backend::kSQLite);
  const std::string input = (dir / "in.jsonl").string();
  std::ofstream(input) << DemoLines(0, 2) << "not json\n";
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(127);
    execl(KVT710_BINARY, KVT710_BINARY, "import", input.c_str(), "--db",
          database.connection_string().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) screen.append(buffer, n);
  int status = 0;
  waitpid(pid, &status, 0);
  close(terminal);
  EXPECT_EQ(WEXITSTATUS(status), 1) << screen;
  EXPECT_NE(screen.find("line 3, key null: line: Not a JSON line"), std::string::npos) << screen;
  EXPECT_EQ(screen.find("\"input\""), std::string::npos) << screen;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string().starts_with("kvt710-rejects-")) files.push_back(entry);
  ASSERT_EQ(files.size(), 1u) << screen;
  EXPECT_NE(screen.find("written to " + files[0].filename().string()), std::string::npos);
  const std::vector<json> rejected = JsonLines(testing_support::ReadText(files[0].string()));
  ASSERT_EQ(rejected.size(), 1u);
  EXPECT_EQ(rejected[0]["input"], "not json");
}

TEST(CliImportCommand, TheInputAndTheOldRejectsAreNeverLostAndFailuresAreNeverSuccess) {
  ScopedSettings settings;
  TempDir dir;
  TestDatabase database(Backend::kSQLite);
  const std::string db = database.connection_string(), input = (dir / "in.jsonl").string(),
                    rejects = (dir / "rj.jsonl").string(), old = "{\"line\":1}\n";
  const std::string lines = DemoLines(0, 2) + "not json\n";
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string out, err, rejects_after;
  };
  const std::string reject = "\"input\":\"not json\"";
  const std::vector<Case> cases = {
      // The import never began: the old rejects stay.
      {{"import", input, "--db", (dir / "no" / "shop.db").string(), "--rejects", rejects},
       4,
       "",
       "",
       old},
      {{"import", input, "--db", db, "--rejects", input}, 2, "", "the input itself", old},
      {{"import", "-", "--db", db, "--rejects", rejects}, 2, "", "the input itself", old},
      {{"import", input, "--db", db, "--rejects", "-"}, 1, reject, "imported 2, rejected 1", old},
      {{"import", input, "--db", db, "--rejects", "/dev/full"},
       4,
       "imported 2, rejected 1",
       "No space left on device",
       old},
      {{"import", dir.path().string(), "--db", db}, 2, "", dir.path().string(), old},
      {{"script", dir.path().string()}, 2, "", dir.path().string(), old},
      // After a run, the file holds exactly its rejects.
      {{"import", input, "--db", db, "--rejects", rejects}, 1, "rejected 1", "", reject},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " --rejects " + c.args.back());
    std::ofstream(input) << lines;
    std::ofstream(rejects) << old;
    // Standard input is the old rejects file itself.
    testing_support::Kvt710Process run(c.args, {}, rejects);
    EXPECT_EQ(run.Wait(), c.exit_code) << run.err();
    EXPECT_NE(run.out().find(c.out), std::string::npos) << run.out();
    EXPECT_NE(run.err().find(c.err), std::string::npos) << run.err();
    EXPECT_NE(testing_support::ReadText(rejects).find(c.rejects_after), std::string::npos);
    EXPECT_TRUE(testing_support::ReadText(input) == lines) << "the input was changed";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2)
        << "a temporary file or a file named - is left";
  }
  EXPECT_FALSE(std::filesystem::exists("-"));
}

TEST(CliImportCommand, AFailedReadStopsAtTheLineItFailedIn) {
  // Gives its text, then fails.
  struct Failing : std::streambuf {
    explicit Failing(std::string text) : text_(std::move(text)) {
      setg(text_.data(), text_.data(), text_.data() + text_.size());
    }
    std::streamsize xsgetn(char* bytes, std::streamsize size) override {
      const std::streamsize got = std::min(size, std::streamsize{egptr() - gptr()});
      if (got == 0) underflow();
      std::copy_n(gptr(), got, bytes);
      gbump(static_cast<int>(got));
      return got;
    }
    int_type underflow() override { throw std::runtime_error("Input/output error"); }
    std::string text_;
  };
  ScopedSettings settings;
  TestDatabase database(Backend::kSQLite);
  cli::Importer importer(database.connection_string());
  Failing import_bytes(DemoLines(0, 2) + "{\"key\":");
  std::istream import_in(&import_bytes);
  std::ostringstream rejects, out;
  try {
    cli::ImportStream(importer, import_in, rejects, nullptr);
    ADD_FAILURE() << "the import ended as if the input had";
  } catch (const cli::CommandError& e) {
    EXPECT_EQ(e.exit_code, 4);
    EXPECT_NE(e.message.find("line 3"), std::string::npos) << e.message;
  }
  Failing script_bytes("{\"create\":\"KVT710.KVT710C3\",\"as\":\"b\"}\n");
  std::istream script_in(&script_bytes);
  try {
    cli::RunScript(script_in, out);
    ADD_FAILURE() << "the script ended as if the input had";
  } catch (const cli::CommandError& e) {
    EXPECT_EQ(e.exit_code, 4);
    EXPECT_NE(e.message.find("line 2"), std::string::npos) << e.message;
  }
}

TEST(CliImportCommand, AStopSignalEndsTheImportBetweenCustomersWithItsSummaryAndRejects) {
  ScopedSettings settings;
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    TempDir dir;
    TestDatabase database(Backend::kSQLite);
    const std::string feed_file = (dir / "feed").string(), rejects = (dir / "rj.jsonl").string();
    ASSERT_EQ(mkfifo(feed_file.c_str(), 0600), 0);
    std::ofstream(rejects) << "old\n";
    testing_support::Kvt710Process import(
        {"import", "-", "--db", database.connection_string(), "--rejects", rejects}, {}, feed_file);
    std::ofstream feed(feed_file);
    // Standard input stays open: the import waits for line 4.
    feed << DemoLine(0) << "not json\n" << DemoLine(1) << std::flush;
    for (int i = 0; i < 300 && database.Scalar("Select Count(*) From CBASE") != "2"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(database.Scalar("Select Count(*) From CBASE"), "2");
    EXPECT_EQ(testing_support::ReadText(rejects), "old\n");
    import.Signal(signal);
    EXPECT_EQ(import.Wait(), 128 + signal) << import.err();
    EXPECT_NE(import.out().find("imported 2, rejected 1"), std::string::npos) << import.out();
    EXPECT_NE(import.err().find("import again from line 4"), std::string::npos) << import.err();
    const std::vector<json> rejected = JsonLines(testing_support::ReadText(rejects));
    ASSERT_EQ(rejected.size(), 1u);
    EXPECT_EQ(rejected[0]["line"], 2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    TestDatabase expected(Backend::kSQLite);
    Import(expected, DemoLines(0, 2));
    EXPECT_EQ(Snapshot(database), Snapshot(expected));
  }
}

}  // namespace
}  // namespace kvt710
