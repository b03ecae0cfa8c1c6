// kvt710 import meeting faults: killed after any statement, a full disk, a
// read-only database, a rejects file that cannot be written, a PostgreSQL
// server restarted or the import's session ended, four importers at once.
// Each fault leaves whole customers only, ends the run with its exit code
// and message, and a rerun gives the clean run's database.
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "import_fault_support.h"
#include "platform/db/connection.h"

namespace kvt710 {
namespace {

using namespace testing_support;
using nlohmann::json;
using ::testing::HasSubstr;

constexpr int64_t kCustomers = 20;

// The input of every fault: the first kCustomers demo customers.
const std::string& Input() {
  static const TempDir dir;
  static const std::string file = (dir / "customers.jsonl").string();
  if (!std::filesystem::exists(file)) std::ofstream(file) << DemoLines(0, kCustomers);
  return file;
}

// The database after each number of customers, imported one at a time.
const std::vector<Snapshot>& Prefixes(Backend backend) {
  static std::map<Backend, std::vector<Snapshot>> prefixes;
  std::vector<Snapshot>& after = prefixes[backend];
  if (after.empty()) {
    TestDatabase clean(backend);
    after.push_back(TakeSnapshot(clean));
    for (int64_t i = 0; i < kCustomers; ++i) {
      EXPECT_EQ(ImportLines(clean.connection_string(), DemoLines(i, i + 1)).rejected, 0);
      after.push_back(TakeSnapshot(clean));
    }
  }
  return after;
}

// What a fault must leave: the exit code and message (with the line it
// stopped at and the summary), whole customers only (`stored`, or when -1
// some but not all), the customer in flight rejected with its `cause`, and
// a rerun that completes the import. Returns the customers stored (-2: any).
int64_t ExpectFault(const TestDatabase& database, Kvt710Process& run, int exit_code,
                    const std::string& message, int64_t stored, const std::string& rejects = "",
                    const std::string& cause = "") {
  EXPECT_EQ(run.Wait(), exit_code) << run.err();
  const std::vector<Snapshot>& prefixes = Prefixes(database.backend());
  const auto found = std::find(prefixes.begin(), prefixes.end(), TakeSnapshot(database));
  EXPECT_TRUE(found != prefixes.end()) << "a customer was stored in part";
  const int64_t whole = found - prefixes.begin();
  EXPECT_TRUE(stored >= 0 ? whole == stored : stored == -2 || (whole > 0 && whole < kCustomers))
      << whole << " customers stored";
  if (!message.empty()) {
    const std::string n = std::to_string(whole);
    EXPECT_THAT(run.err(),
                HasSubstr("stopped at line " + std::to_string(whole + 1) + ": " + message));
    EXPECT_THAT(run.err(), HasSubstr(n + " customers were imported and 1 rejected"));
    EXPECT_THAT(run.out(), HasSubstr("imported " + n + ", rejected 1, "));
  }
  if (!cause.empty()) {
    const std::vector<json> rejected = JsonLines(ReadText(rejects));
    EXPECT_EQ(rejected.size(), 1u);
    EXPECT_EQ(rejected.at(0)["line"], whole + 1);
    // The cause, and on a lost server the rollback that could not run (an
    // ODBC driver may report that rollback or not).
    if (!ThroughOdbc(database.backend())) {
      EXPECT_EQ(rejected[0]["errors"].size(), cause == "terminat" ? 2u : 1u) << rejected[0];
    }
    EXPECT_NE(rejected[0]["errors"][0].dump().find(cause), std::string::npos) << rejected[0];
  }
  EXPECT_TRUE(database.backend() != Backend::kSQLite ||
              database.Scalar("PRAGMA integrity_check") == "ok");
  Kvt710Process again({"import", Input(), "--db", database.connection_string()});
  EXPECT_EQ(again.Wait(), 0) << again.err();
  EXPECT_TRUE(TakeSnapshot(database) == prefixes.back()) << "the rerun did not complete";
  return whole;
}

class ImportFaults : public ::testing::TestWithParam<Backend> {
 protected:
  ScopedSettings settings_;  // of no database
  TempDir dir_;
};

// Killed (SIGKILL by the test host) after statement k of a run, between
// customers and inside one; the last point is the final COMMIT.
TEST_P(ImportFaults, AKillAfterAnyStatementLeavesWholeCustomers) {
  TestDatabase traced(GetParam());
  const std::string trace = (dir_ / "trace.jsonl").string();
  Kvt710Process run({"import", Input(), "--db", traced.connection_string()},
                    {{"KVT710_TRACE_SQL", trace}});
  ASSERT_EQ(run.Wait(), 0) << run.err();
  // The traced statements and each customer's BEGIN and COMMIT.
  const int64_t total = std::ssize(JsonLines(ReadText(trace))) + 2 * kCustomers;
  int64_t previous = 0;
  for (int64_t k :
       std::vector<int64_t>{1, 5, 17, 40, total / 3, total / 2 + 3, total * 3 / 4, total}) {
    SCOPED_TRACE("killed after statement " + std::to_string(k) + " of " + std::to_string(total));
    TestDatabase database(GetParam());
    Kvt710Process killed(
        {std::to_string(k), "import", Input(), "--db", database.connection_string()}, {},
        "/dev/null", KVT710_KILL_AFTER_BINARY);
    const int64_t whole = ExpectFault(database, killed, -SIGKILL, "", k == total ? kCustomers : -2);
    EXPECT_GE(whole, previous) << "a later kill left fewer customers";
    previous = whole;
  }
}

TEST_P(ImportFaults, ADatabaseThatTakesNoMoreStopsTheImport) {
  const bool sqlite = GetParam() == Backend::kSQLite;
  const std::string rejects = (dir_ / "rj.jsonl").string(), bad = (dir_ / "bad.jsonl").string();
  std::ofstream(bad) << DemoLines(0, kCustomers) << "not json\n";
  // A few pages of room: some customers fit, then one does not.
  const int64_t pages =
      sqlite ? std::stoll(TestDatabase(GetParam()).Scalar("PRAGMA page_count")) + 6 : 0;
  const struct {
    std::string suffix, rejects, message;
    int64_t stored;
    std::string cause;
  } rows[] = {
      {GetParam() != Backend::kPostgreSQL ? ";Mode=ReadOnly"
                                          : "%20-cdefault_transaction_read_only%3Don",
       rejects, "the database is read-only", 0, ""},
      {";Max Page Count=" + std::to_string(pages), rejects, "the database is full", -1,
       "database or disk is full"},
      {"", "/dev/full", "the rejects could not be written (No space left on device)", kCustomers,
       ""},
  };
  for (const auto& row : rows) {
    if (row.stored == -1 && !sqlite) continue;  // a server takes no page limit
    SCOPED_TRACE(row.suffix + " " + row.rejects);
    TestDatabase database(GetParam());
    Kvt710Process run({"import", bad, "--db", database.connection_string() + row.suffix,
                       "--rejects", row.rejects});
    ExpectFault(database, run, 4, row.message, row.stored, row.rejects, row.cause);
  }
}

// Four importers at once on files that overlap in different orders. The
// demo's customers come in blocks of 20 that refer only to their own block.
TEST_P(ImportFaults, OverlappingImportersEndAsOneImportOfEveryCustomer) {
  auto blocks = [](const std::vector<int64_t>& order) {
    std::string lines;
    for (int64_t b : order) lines += DemoLines(b * 20, b * 20 + 20);
    return lines;
  };
  const std::vector<std::vector<int64_t>> files = {
      {0, 1, 2, 3}, {3, 2, 1, 0}, {1, 3, 0, 2}, {2, 0, 1}};
  TestDatabase clean(GetParam());
  ASSERT_EQ(ImportLines(clean.connection_string(), blocks(files[0])).rejected, 0);
  const Snapshot expected = TakeSnapshot(clean);
  for (int round = 0; round < 2; ++round) {
    TestDatabase database(GetParam());
    std::vector<std::unique_ptr<Kvt710Process>> imports;
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string input = (dir_ / ("in" + std::to_string(i))).string();
      std::ofstream(input) << blocks(files[i]);
      imports.push_back(std::make_unique<Kvt710Process>(
          std::vector<std::string>{"import", input, "--db", database.connection_string()}));
    }
    for (auto& import : imports) EXPECT_EQ(import->Wait(), 0) << import->err();  // none rejected
    EXPECT_TRUE(TakeSnapshot(database) == expected) << "round " << round;
  }
}

TEST(ImportDatabases, TheSameCustomersGiveTheSameRowsOnEveryDatabase) {
  if (TestBackends().size() < 2) GTEST_SKIP() << "no database server is given";
  ScopedSettings settings;
  const Snapshot& sqlite = Prefixes(Backend::kSQLite).back();
  for (Backend backend : TestBackends())
    EXPECT_TRUE(sqlite == Prefixes(backend).back()) << static_cast<int>(backend);
  for (const auto& [table, rows] : sqlite) EXPECT_FALSE(rows.empty()) << table;
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportFaults, ::testing::ValuesIn(TestBackends()), BackendName);

// A server of the test's own (scripts/pg-test-server, scripts/mariadb-test-server),
// since it is restarted: fast and immediate restarts and an ended session
// while the import waits inside customer 11, a fast restart between customers.
class ImportServerFaults : public ::testing::TestWithParam<Backend> {};

TEST_P(ImportServerFaults, TheCustomerInFlightIsRejectedAndTheRerunCompletes) {
  const bool maria = GetParam() == Backend::kMariaDB;
  ScopedSettings settings;
  TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
  const std::string folder = (dir / "db").string();
  auto server = [&](const std::string& verb, const std::string& mode = "") {
    const std::string command =
        std::string(KVT710_SOURCE_DIR) +
        (maria ? "/scripts/mariadb-test-server " : "/scripts/pg-test-server ") + verb + " " +
        folder + " " + mode + " >" + folder + ".out 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << verb << ReadText(folder + ".out");
  };
  server("start");
  const std::shared_ptr<void> stop(nullptr, [&](void*) { server("stop"); });  // however it ends
  // Each "export NAME='VALUE'" line the script wrote, for this test.
  std::vector<std::unique_ptr<ScopedEnv>> env;
  for (const std::string& line : ReadLines(folder + "/env")) {
    const size_t eq = line.find('='), quote = line.find('\'');
    ASSERT_NE(quote, std::string::npos) << line;
    env.push_back(std::make_unique<ScopedEnv>(
        line.substr(7, eq - 7), line.substr(quote + 1, line.rfind('\'') - quote - 1)));
  }
  const auto previous = std::signal(SIGPIPE, SIG_IGN);  // the import may stop before it reads all
  for (const std::string fault : {"fast", "immediate", "terminate", "between"}) {
    SCOPED_TRACE(fault);
    TestDatabase database(GetParam());
    // Commits that wait for the disk: an immediate restart may lose early ones.
    std::string db = database.connection_string();
    if (GetParam() == Backend::kPostgreSQL)
      db.insert(db.find("?options=") + 9, "-csynchronous_commit%3Don%20");
    if (GetParam() == Backend::kPostgresOdbc)
      db.insert(db.find("ConnSettings={") + 14, "SET synchronous_commit TO on;");
    const std::string feed = (dir / "feed").string(), rejects = (dir / "rj.jsonl").string();
    std::filesystem::remove(feed);
    ASSERT_EQ(mkfifo(feed.c_str(), 0600), 0);
    Kvt710Process import({"import", "-", "--db", db, "--rejects", rejects}, {}, feed);
    std::ofstream lines(feed);
    lines << DemoLines(0, 10) << std::flush;
    for (int i = 0; i < 300 && database.Scalar("Select Count(*) From CBASE") != "10"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto locker = database.Connect();
    if (fault == "between") {
      server("restart", "fast");
    } else if (maria) {
      locker->Execute("Lock Tables CBASE Write");
    } else {
      locker->BeginTrans();
      locker->Execute("Lock Table CBASE In Exclusive Mode");
    }
    lines << DemoLines(10, kCustomers) << std::flush;
    lines.close();
    if (fault != "between") {
      std::vector<std::string> waiting;
      for (int i = 0; i < 300 && waiting.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        waiting = database.Column(
            maria ? "Select id From information_schema.processlist Where state Like 'Waiting for "
                    "table%lock' And db = database()"
                  : "Select pid From pg_stat_activity Where wait_event_type = 'Lock' And "
                    "backend_type = 'client backend'");
      }
      ASSERT_EQ(waiting.size(), 1u) << "the import never waited inside customer 11";
      if (fault == "terminate" && maria)
        locker->Execute("Kill " + waiting[0]);
      else if (fault == "terminate")
        EXPECT_THAT(database.Scalar("Select pg_terminate_backend(" + waiting[0] + ")"),
                    ::testing::AnyOf("True", "1"));
      else
        server("restart", fault);
    }
    locker.reset();  // its lock ends with its session
    // A fast shutdown ends the sessions one after another: when the lock
    // holder's ends first, the waiting customer may commit before the import's does.
    const int64_t whole = ExpectFault(database, import, 4, "the database cannot be used",
                                      fault == "fast" ? -2 : 10, rejects,
                                      fault == "between" ? ""
                                      : maria            ? "onnection"
                                                         : "terminat");
    EXPECT_GE(whole, 10);
  }
  std::signal(SIGPIPE, previous);
}

// The server backends only: SQLite has no server to restart.
std::vector<Backend> ServerBackends() {
  std::vector<Backend> servers = TestBackends();
  servers.erase(servers.begin());
  return servers;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ImportServerFaults);
INSTANTIATE_TEST_SUITE_P(Servers, ImportServerFaults, ::testing::ValuesIn(ServerBackends()),
                         BackendName);

}  // namespace
}  // namespace kvt710
