// kvt710 import against a PostgreSQL server that goes away while a customer
// is in flight: restarted (fast and immediate) or the import's session
// terminated. The customer is written to the rejects with the reason,
// nothing of it is stored, the import stops with exit code 4 saying where,
// and a second run completes the rest. The tests start a server of their
// own (scripts/pg-test-server), since they restart it.
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "cli/import.h"
#include "import_fault_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;
using testing_support::Backend;
using testing_support::DemoLine;
using testing_support::DemoLines;
using testing_support::Kvt710Process;
using testing_support::ScopedEnv;
using testing_support::Snapshot;
using testing_support::TakeSnapshot;
using testing_support::TempDir;
using testing_support::TestDatabase;

const std::string kScript = std::string(KVT710_SOURCE_DIR) + "/scripts/pg-test-server";

// Runs a command; its standard output, or nullopt when it failed.
std::optional<std::string> Shell(const std::string& command) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  return pclose(pipe) == 0 ? std::optional<std::string>(out) : std::nullopt;
}

class ImportServerFaults : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (testing_support::TestBackends().size() < 2) return;
    dir_ = new TempDir();
    // The server runs as a system user of its own, which must reach the folder.
    std::filesystem::permissions(
        dir_->path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                          std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                          std::filesystem::perms::others_exec);
    const std::optional<std::string> out = Shell(kScript + " start " + (*dir_ / "pg").string());
    const size_t quote = out ? out->find('\'') : std::string::npos;
    if (quote != std::string::npos) server_ = out->substr(quote + 1, out->rfind('\'') - quote - 1);
  }
  static void TearDownTestSuite() {
    if (dir_ == nullptr) return;
    Shell(kScript + " stop " + (*dir_ / "pg").string() + " 2>/dev/null");
    delete dir_;
    dir_ = nullptr;
  }

  void SetUp() override {
    if (testing_support::TestBackends().size() < 2)
      GTEST_SKIP() << "KVT710_TEST_PG names no PostgreSQL server";
    ASSERT_FALSE(server_.empty()) << "scripts/pg-test-server could not start a server";
    env_ = std::make_unique<ScopedEnv>("KVT710_TEST_PG", server_);
  }

  static void Restart(const std::string& mode) {
    ASSERT_TRUE(Shell(kScript + " restart " + (*dir_ / "pg").string() + " " + mode + " 2>&1"));
  }

  static inline TempDir* dir_ = nullptr;
  static inline std::string server_;
  testing_support::ScopedSettings settings_;
  std::unique_ptr<ScopedEnv> env_;
};

// The database's connection string with commits that wait for the disk: the
// test server acknowledges commits early, which a crash (an immediate
// restart) may then lose, however the import behaves.
std::string Durable(const TestDatabase& database) {
  std::string text = database.connection_string();
  const std::string options = "?options=";
  const size_t at = text.find(options);
  if (at != std::string::npos) text.insert(at + options.size(), "-csynchronous_commit%3Don%20");
  return text;
}

void ImportInProcess(const std::string& connection_string, const std::string& lines) {
  cli::Importer importer(connection_string);
  std::istringstream in(lines);
  std::ostringstream rejects;
  cli::ImportStream(importer, in, rejects, nullptr);
  ASSERT_EQ(rejects.str(), "");
}

// The server process of the session that waits for a lock in `database`'s
// schema, once one does; 0 when none does within 30 s.
std::string WaitingSession(const TestDatabase& database) {
  for (int i = 0; i < 300; ++i) {
    const std::vector<std::string> pids = database.Column(
        "Select pid From pg_stat_activity Where wait_event_type = 'Lock' And datname = "
        "current_database() And query Like 'Update CBASE%'");
    if (!pids.empty()) return pids.front();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return "";
}

TEST_F(ImportServerFaults, ACustomerInFlightWhenTheServerGoesIsRejectedAndTheRerunCompletes) {
  TempDir dir;
  const std::string input = (dir / "customers.jsonl").string();
  std::ofstream(input) << DemoLines(0, 20);
  TestDatabase clean(Backend::kPostgreSQL);
  ImportInProcess(clean.connection_string(), DemoLines(0, 20));
  const Snapshot complete = TakeSnapshot(clean);

  for (const std::string fault : {"fast restart", "immediate restart", "terminated session"}) {
    SCOPED_TRACE(fault);
    // Customer 10 is stored; a session of the test locks its row, so that the
    // import waits inside customer 10's transaction (line 11).
    TestDatabase database(Backend::kPostgreSQL);
    ImportInProcess(Durable(database), DemoLine(10));
    TestDatabase before(Backend::kPostgreSQL);
    ImportInProcess(before.connection_string(), DemoLine(10) + DemoLines(0, 10));
    const Snapshot expected_before = TakeSnapshot(before);

    auto locker = database.Connect();
    locker->BeginTrans();
    locker->Execute("Update CBASE Set CUBS_UNIQUE_KEY = CUBS_UNIQUE_KEY Where CUBS_UNIQUE_KEY = " +
                    cli::DemoKey(10));
    const std::string rejects_file = (dir / "rejects.jsonl").string();
    Kvt710Process import({"import", input, "--db", Durable(database), "--rejects", rejects_file});
    const std::string session = WaitingSession(database);
    ASSERT_FALSE(session.empty()) << "the import never waited for customer 10";

    if (fault == "fast restart") {
      Restart("fast");
    } else if (fault == "immediate restart") {
      Restart("immediate");
    } else {
      EXPECT_EQ(database.Scalar("Select pg_terminate_backend(" + session + ")"), "True");
      locker->RollbackTrans();
    }
    EXPECT_EQ(import.Wait(), 4) << import.err();
    EXPECT_NE(import.err().find("stopped at line 11"), std::string::npos) << import.err();
    EXPECT_NE(import.err().find("import again"), std::string::npos) << import.err();
    EXPECT_NE(import.out().find("imported 10, rejected 1, "), std::string::npos) << import.out();
    const std::vector<std::string> rejected =
        testing_support::TextLines(testing_support::ReadText(rejects_file));
    ASSERT_EQ(rejected.size(), 1u);
    const json reject = json::parse(rejected[0]);
    EXPECT_EQ(reject["line"], 11);
    EXPECT_EQ(reject["key"], cli::DemoKey(10));
    ASSERT_FALSE(reject["errors"].empty());
    EXPECT_NE(reject["errors"][0]["description"].get<std::string>().find("terminat"),
              std::string::npos)
        << reject.dump();

    // Customers 1 to 10 whole, customer 10 as it was, then the rest.
    const Snapshot left = TakeSnapshot(database);
    EXPECT_TRUE(left == expected_before)
        << testing_support::SnapshotDifference(expected_before, left);
    Kvt710Process again({"import", input, "--db", database.connection_string()});
    EXPECT_EQ(again.Wait(), 0) << again.err();
    const Snapshot after = TakeSnapshot(database);
    EXPECT_TRUE(after == complete) << testing_support::SnapshotDifference(complete, after);
  }
}

TEST_F(ImportServerFaults, AServerRestartedBetweenCustomersStopsTheImportAtTheNextOne) {
  TempDir dir;
  const std::string feed_file = (dir / "feed").string(),
                    rejects_file = (dir / "rejects.jsonl").string();
  ASSERT_EQ(mkfifo(feed_file.c_str(), 0600), 0);
  TestDatabase database(Backend::kPostgreSQL);
  Kvt710Process import({"import", "-", "--db", Durable(database), "--rejects", rejects_file}, {},
                       feed_file);
  {
    // The import may stop before it reads all that is written.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    std::ofstream feed(feed_file);
    feed << DemoLines(0, 10) << std::flush;
    for (int i = 0; i < 300 && database.Scalar("Select Count(*) From CBASE") != "10"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(database.Scalar("Select Count(*) From CBASE"), "10");
    Restart("fast");
    feed << DemoLines(10, 20) << std::flush;
    feed.close();
    std::signal(SIGPIPE, previous);
  }
  EXPECT_EQ(import.Wait(), 4) << import.err();
  EXPECT_NE(import.err().find("stopped at line 11"), std::string::npos) << import.err();
  const std::vector<std::string> rejected =
      testing_support::TextLines(testing_support::ReadText(rejects_file));
  ASSERT_EQ(rejected.size(), 1u);
  EXPECT_EQ(json::parse(rejected[0])["line"], 11);

  TestDatabase first_ten(Backend::kPostgreSQL), all(Backend::kPostgreSQL);
  ImportInProcess(first_ten.connection_string(), DemoLines(0, 10));
  ImportInProcess(all.connection_string(), DemoLines(0, 20));
  EXPECT_TRUE(TakeSnapshot(database) == TakeSnapshot(first_ten));
  Kvt710Process again({"import", "-", "--db", database.connection_string()}, {}, [&] {
    const std::string file = (dir / "all.jsonl").string();
    std::ofstream(file) << DemoLines(0, 20);
    return file;
  }());
  EXPECT_EQ(again.Wait(), 0) << again.err();
  EXPECT_TRUE(TakeSnapshot(database) == TakeSnapshot(all));
}

}  // namespace
}  // namespace kvt710
