// kvt710 import killed (SIGKILL) at points spread over a run, between
// customers and inside one: the database always holds whole customers, never
// part of one, and importing the file again gives the clean run's database.
#include <csignal>
#include <fstream>
#include <sstream>

#include "cli/import.h"
#include "import_fault_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::Kvt710Process;
using testing_support::Snapshot;
using testing_support::TakeSnapshot;
using testing_support::TempDir;
using testing_support::TestDatabase;

class ImportCrash : public ::testing::TestWithParam<Backend> {
 protected:
  testing_support::ScopedSettings settings_;
};

TEST_P(ImportCrash, KilledImportLeavesWholeCustomersAndTheRerunCompletes) {
  constexpr int64_t kCustomers = 20;
  TempDir dir;
  const std::string input = (dir / "customers.jsonl").string();
  const std::vector<std::string> lines =
      testing_support::TextLines(testing_support::DemoLines(0, kCustomers));
  std::ofstream(input) << testing_support::DemoLines(0, kCustomers);

  // The database after each number of customers, imported one at a time:
  // what a run that stopped anywhere may leave.
  std::vector<Snapshot> after_customers;
  {
    TestDatabase clean(GetParam());
    cli::Importer importer(clean.connection_string());
    auto connection = clean.Connect();
    after_customers.push_back(TakeSnapshot(*connection));
    for (size_t i = 0; i < lines.size(); ++i) {
      std::ostringstream rejects;
      ASSERT_TRUE(importer.Import(lines[i], static_cast<int64_t>(i + 1), rejects)) << rejects.str();
      after_customers.push_back(TakeSnapshot(*connection));
    }
  }

  // Statements of a whole run: the traced ones and each customer's BEGIN and COMMIT.
  int64_t total = 0;
  {
    TestDatabase traced(GetParam());
    const std::string trace = (dir / "trace.jsonl").string();
    Kvt710Process run({"import", input, "--db", traced.connection_string()},
                      {{"KVT710_TRACE_SQL", trace}});
    ASSERT_EQ(run.Wait(), 0) << run.err();
    total =
        static_cast<int64_t>(testing_support::TextLines(testing_support::ReadText(trace)).size()) +
        2 * kCustomers;
  }
  ASSERT_GT(total, 100);

  size_t previous = 0;
  for (int64_t kill_after : {int64_t{1}, int64_t{5}, int64_t{17}, int64_t{40}, total / 3,
                             total / 2 + 3, total * 3 / 4, total}) {
    SCOPED_TRACE("killed after statement " + std::to_string(kill_after) + " of " +
                 std::to_string(total));
    TestDatabase database(GetParam());
    Kvt710Process killed(
        Kvt710Process::Host{KVT710_KILL_AFTER_BINARY},
        {std::to_string(kill_after), "import", input, "--db", database.connection_string()});
    EXPECT_EQ(killed.Wait(), -SIGKILL) << killed.err();

    const Snapshot left = TakeSnapshot(database);
    size_t complete = 0;
    while (complete < after_customers.size() && after_customers[complete] != left) ++complete;
    EXPECT_LT(complete, after_customers.size()) << "a customer was stored in part";
    EXPECT_GE(complete, previous) << "a later kill left fewer customers";
    if (complete < after_customers.size()) previous = complete;
    if (kill_after == total) {
      EXPECT_EQ(complete, lines.size());
    }
    if (GetParam() == Backend::kSQLite) {
      EXPECT_EQ(database.Scalar("PRAGMA integrity_check"), "ok");
    }

    Kvt710Process again({"import", input, "--db", database.connection_string()});
    EXPECT_EQ(again.Wait(), 0) << again.err();
    EXPECT_TRUE(TakeSnapshot(database) == after_customers.back());
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportCrash,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
