// Deletion sweeps running at once on one database, each its own service and
// connection: no customer is lost or marked twice, no maintenance row is
// duplicated, the counts the sweeps return add up to what was marked, and the
// end state is that of one sweep. Also a sweep racing deletions by key, and
// two `kvt710 delete --before` processes at once.
#include <chrono>
#include <latch>
#include <set>
#include <thread>

#include "cli/kvt710_process.h"
#include "deletion/KVT710C2.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::RunKvt710;
using testing_support::ScopedSettings;
using testing_support::TestDatabase;

constexpr int kCustomers = 1500;
constexpr int32_t kCutOff = 20100101;
constexpr DateTime kNow{2016, 7, 4, 13, 5, 9};

// Customer k: store '013' when k % 3 == 0, else '012'; already deleted when
// k % 17 == 0; newest visit 2012/01/01 when k % 5 == 0, none when k % 23 == 0,
// else 2009/06/01. Customers with k % 13 == 0 already have a maintenance row.
void Fill(const TestDatabase& database, int customers) {
  const bool sqlite = database.backend() == Backend::kSQLite;
  const std::string n = std::to_string(customers);
  const std::string keys =
      sqlite ? "(WITH RECURSIVE s(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM s WHERE k < " + n +
                   ") SELECT k FROM s)"
             : "(SELECT generate_series(1, " + n + ") AS k)";
  const std::string newest =
      sqlite ? "CASE WHEN k % 5 = 0 THEN '2012/01/01' WHEN k % 23 = 0 THEN NULL "
               "ELSE '2009/06/01' END"
             : "CASE WHEN k % 5 = 0 THEN DATE '2012-01-01' WHEN k % 23 = 0 THEN NULL "
               "ELSE DATE '2009-06-01' END";
  const std::string updated = sqlite ? "'2015/01/01 10:00:00'" : "TIMESTAMP '2015-01-01 10:00:00'";
  auto connection = database.Connect();
  connection->Execute(
      "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_DATA_FLG, "
      "CUBS_NEWBST_COMING, CUBS_UPD_DATE) SELECT k, CASE WHEN k % 3 = 0 THEN '013' ELSE '012' "
      "END, 'ﾀﾅｶ', CASE WHEN k % 17 = 0 THEN 2 ELSE 0 END, " +
      newest + ", " + updated + " FROM " + keys + " keys");
  connection->Execute(
      "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN, "
      "MTRN_KANA_MEI, MTRN_TRANSE_FLG, MTRN_UPD_FLG) SELECT '001', 1, k, 1, 'old', 9, 9 FROM " +
      keys + " keys WHERE k % 13 = 0");
}

// The keys that a sweep before the cut-off marks.
std::set<int> Due(int customers) {
  std::set<int> keys;
  for (int k = 1; k <= customers; ++k) {
    if (k % 17 == 0 || k % 5 == 0 || k % 23 == 0) continue;
    keys.insert(k);
  }
  return keys;
}

std::vector<std::string> Rows(const TestDatabase& database, const std::string& query) {
  return testing_support::Rows(*database.Connect(), query);
}

std::vector<std::string> Customers(const TestDatabase& database) {
  return Rows(database,
              "SELECT CUBS_UNIQUE_KEY, CUBS_DATA_FLG, CUBS_UPD_DATE FROM CBASE ORDER BY "
              "CUBS_UNIQUE_KEY");
}

std::vector<std::string> Maintenance(const TestDatabase& database) {
  return Rows(database,
              "SELECT MTRN_UNIQUE_KEY, MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_KBN, "
              "MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T "
              "ORDER BY MTRN_UNIQUE_KEY");
}

std::set<int> MarkedKeys(const TestDatabase& database) {
  std::set<int> keys;
  for (const std::string& key :
       database.Column("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_DATA_FLG = 2"))
    keys.insert(std::stoi(key));
  return keys;
}

// Keys with more than one maintenance row.
std::vector<std::string> DuplicatedMaintenance(const TestDatabase& database) {
  return database.Column(
      "SELECT MTRN_UNIQUE_KEY FROM CMENTE_T GROUP BY MTRN_UNIQUE_KEY HAVING COUNT(*) > 1");
}

std::set<int> Union(std::set<int> a, const std::set<int>& b) {
  a.insert(b.begin(), b.end());
  return a;
}

std::set<int> AlreadyDeleted(int customers) {
  std::set<int> keys;
  for (int k = 17; k <= customers; k += 17) keys.insert(k);
  return keys;
}

class DeletionConcurrency : public ::testing::TestWithParam<Backend> {
 protected:
  DeletionConcurrency() : database_(GetParam()), clock_([] { return kNow; }) {
    settings_.UseConnection(database_.connection_string(), "1");
    Fill(database_, kCustomers);
  }

  // The state that one sweep of everything before the cut-off leaves.
  std::pair<std::vector<std::string>, std::vector<std::string>> OneSweep() {
    TestDatabase reference(GetParam());
    Fill(reference, kCustomers);
    ScopedSettings settings;
    settings.UseConnection(reference.connection_string(), "1");
    EXPECT_EQ(KVT710C2::Create()->DeleteCBaseYMD(kCutOff),
              static_cast<int32_t>(Due(kCustomers).size()));
    return {Customers(reference), Maintenance(reference)};
  }

  TestDatabase database_;
  ScopedSettings settings_;
  ScopedClock clock_;
};

TEST_P(DeletionConcurrency, SweepsAtOnceMarkEachCustomerOnce) {
  // Two sweeps of everything and one of store '012' only, started together.
  const std::vector<std::optional<Variant>> stores = {std::nullopt, std::nullopt,
                                                      Variant::String("012")};
  std::vector<int32_t> results(stores.size(), -2);
  std::latch start(static_cast<std::ptrdiff_t>(stores.size()));
  std::vector<std::thread> sweeps;
  for (size_t i = 0; i < stores.size(); ++i) {
    sweeps.emplace_back([&, i] {
      auto service = KVT710C2::Create();
      start.arrive_and_wait();
      results[i] = service->DBStatus() == 0 ? service->DeleteCBaseYMD(kCutOff, stores[i]) : -3;
    });
  }
  for (std::thread& t : sweeps) t.join();

  const std::set<int> due = Due(kCustomers);
  int32_t total = 0;
  for (int32_t r : results) {
    EXPECT_GE(r, 0) << "a sweep failed";
    total += r;
  }
  EXPECT_EQ(total, static_cast<int32_t>(due.size()));
  EXPECT_EQ(MarkedKeys(database_), Union(due, AlreadyDeleted(kCustomers)));
  EXPECT_EQ(DuplicatedMaintenance(database_), std::vector<std::string>{});
  const auto [customers, maintenance] = OneSweep();
  EXPECT_EQ(Customers(database_), customers);
  EXPECT_EQ(Maintenance(database_), maintenance);
}

TEST_P(DeletionConcurrency, SweepRacesDeletionsByKey) {
  // The sweep runs while another service deletes every second due customer by
  // key, from the highest key down, with flags that tell its rows apart.
  const std::set<int> due = Due(kCustomers);
  std::vector<int> by_key;
  for (auto k = due.rbegin(); k != due.rend(); ++k)
    if (*k % 2 == 0) by_key.push_back(*k);
  std::vector<emReturnCD> key_results(by_key.size(), emRetError);
  int32_t swept = -2;
  std::latch start(2);
  std::thread sweep([&] {
    auto service = KVT710C2::Create();
    start.arrive_and_wait();
    swept = service->DeleteCBaseYMD(kCutOff);
  });
  std::thread keys([&] {
    auto service = KVT710C2::Create();
    start.arrive_and_wait();
    for (size_t i = 0; i < by_key.size(); ++i)
      key_results[i] = service->DeleteCBase(by_key[i], 1, 1);
  });
  sweep.join();
  keys.join();

  // A sweep that lost to the deletions on every attempt says so (-1) with
  // nothing changed, and running it again marks what is left; likewise a
  // deletion by key, which the sweep then marks instead.
  if (swept < 0) swept = KVT710C2::Create()->DeleteCBaseYMD(kCutOff);
  ASSERT_GE(swept, 0);
  std::set<int> deleted_by_key;
  for (size_t i = 0; i < by_key.size(); ++i) {
    if (key_results[i] == emRetDelete) deleted_by_key.insert(by_key[i]);
  }
  EXPECT_EQ(static_cast<size_t>(swept) + deleted_by_key.size(), due.size());
  EXPECT_EQ(MarkedKeys(database_), Union(due, AlreadyDeleted(kCustomers)));
  EXPECT_EQ(DuplicatedMaintenance(database_), std::vector<std::string>{});
  // Each maintenance row was written by whichever call marked its customer.
  std::vector<std::string> expected_flags;
  for (int k : due)
    expected_flags.push_back(std::to_string(k) + (deleted_by_key.count(k) ? "|1|1" : "|0|0"));
  EXPECT_EQ(Rows(database_,
                 "SELECT MTRN_UNIQUE_KEY, MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T WHERE "
                 "MTRN_KBN = 2 ORDER BY MTRN_UNIQUE_KEY"),
            expected_flags);
}

TEST_P(DeletionConcurrency, SweepOutlastsAWriterHoldingItsRows) {
  // Another connection holds a write on a due customer for a while; on
  // SQLite longer than the busy timeout of 5 s, which makes the sweep's first
  // attempt fail.
  const auto hold = GetParam() == Backend::kSQLite ? std::chrono::milliseconds(5500)
                                                   : std::chrono::milliseconds(500);
  auto writer = database_.Connect();
  writer->BeginTrans();
  writer->Execute("UPDATE CBASE SET CUBS_CUSTOM_MEI = 'held' WHERE CUBS_UNIQUE_KEY = 1");
  std::thread release([&] {
    std::this_thread::sleep_for(hold);
    writer->CommitTrans();
  });
  const int32_t swept = KVT710C2::Create()->DeleteCBaseYMD(kCutOff);
  release.join();
  EXPECT_EQ(swept, static_cast<int32_t>(Due(kCustomers).size()));
  EXPECT_EQ(MarkedKeys(database_), Union(Due(kCustomers), AlreadyDeleted(kCustomers)));
  EXPECT_EQ(DuplicatedMaintenance(database_), std::vector<std::string>{});
}

TEST_P(DeletionConcurrency, TwoDeleteCommandsAtOnce) {
  const std::set<int> due = Due(kCustomers);
  std::vector<testing_support::CommandResult> runs(2);
  std::vector<std::vector<std::string>> args = {
      {"delete", "--before", "20100101", "--db", database_.connection_string()},
      {"delete", "--before", "20100101", "--store", "012", "--db", database_.connection_string()}};
  std::thread first([&] { runs[0] = RunKvt710(args[0]); });
  std::thread second([&] { runs[1] = RunKvt710(args[1]); });
  first.join();
  second.join();

  size_t total = 0;
  for (const auto& run : runs) {
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const size_t at = run.out.find("Marked ");
    ASSERT_NE(at, std::string::npos) << run.out;
    total += std::stoul(run.out.substr(at + 7));
  }
  EXPECT_EQ(total, due.size());
  EXPECT_EQ(MarkedKeys(database_), Union(due, AlreadyDeleted(kCustomers)));
  EXPECT_EQ(DuplicatedMaintenance(database_), std::vector<std::string>{});
  EXPECT_EQ(database_.Scalar("SELECT COUNT(*) FROM CMENTE_T WHERE MTRN_KBN = 2"),
            std::to_string(due.size()));
}

INSTANTIATE_TEST_SUITE_P(Backends, DeletionConcurrency,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
