// Deletions running at once on one database, each with its own connection:
// no customer is lost or marked twice, no maintenance row is duplicated, and
// the counts returned add up to what was marked.
#include <set>
#include <thread>

#include "cli/kvt710_process.h"
#include "deletion/KVT710C2.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;

// Customer k of 1500: store '013' when k % 3 == 0, else '012'; already
// deleted when k % 17 == 0; newest visit 2012/01/01 when k % 5 == 0, none
// when k % 23 == 0, else 2009/06/01. Those with k % 13 == 0 have a
// maintenance row already.
class DeletionConcurrency : public ::testing::TestWithParam<Backend> {
 protected:
  DeletionConcurrency() : database_(GetParam()) {
    settings_.UseConnection(database_.connection_string(), "1");
    const bool sqlite = GetParam() == Backend::kSQLite;
    const std::string keys = sqlite ? " FROM (WITH RECURSIVE s(k) AS (SELECT 1 UNION ALL SELECT "
                                      "k + 1 FROM s WHERE k < 1500) SELECT k FROM s) keys"
                                    : " FROM generate_series(1, 1500) AS k";
    database_.Connect()->Execute(
        "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_DATA_FLG, CUBS_NEWBST_COMING) "
        "SELECT k, CASE WHEN k % 3 = 0 THEN '013' ELSE '012' END, CASE WHEN k % 17 = 0 THEN 2 "
        "ELSE 0 END, CASE WHEN k % 5 = 0 THEN " +
        std::string(
            sqlite ? "'2012/01/01' WHEN k % 23 = 0 THEN NULL ELSE '2009/06/01' END"
                   : "DATE '2012-01-01' WHEN k % 23 = 0 THEN NULL ELSE DATE '2009-06-01' END") +
        keys);
    database_.Connect()->Execute(
        "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN, "
        "MTRN_TRANSE_FLG, MTRN_UPD_FLG) SELECT '001', 1, k, 1, 9, 9" +
        keys + " WHERE k % 13 = 0");
    for (int k = 1; k <= 1500; ++k)
      if (k % 17 != 0 && k % 5 != 0 && k % 23 != 0) due_.insert(k);
  }

  // Each marked customer with the flags of its maintenance rows, one line a
  // row: what `by_key` (flags 1|1) and sweeps (0|0) should leave.
  void ExpectMarks(const std::set<int>& by_key) const {
    std::vector<std::string> expected;
    for (int k = 1; k <= 1500; ++k) {
      if (due_.count(k))
        expected.push_back(std::to_string(k) + (by_key.count(k) ? "|1|1" : "|0|0"));
      if (k % 17 == 0)
        expected.push_back(std::to_string(k) + (k % 13 == 0 ? "|9|9" : "|NULL|NULL"));
    }
    EXPECT_EQ(
        testing_support::Rows(
            *database_.Connect(),
            "SELECT CUBS_UNIQUE_KEY, MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CBASE LEFT JOIN "
            "CMENTE_T ON MTRN_UNIQUE_KEY = CUBS_UNIQUE_KEY WHERE CUBS_DATA_FLG = 2 ORDER BY 1"),
        expected);
  }

  testing_support::TestDatabase database_;
  testing_support::ScopedSettings settings_;
  std::set<int> due_;
};

TEST_P(DeletionConcurrency, SweepsAtOnceBehindAHeldWriteMarkEachCustomerOnce) {
  // Another connection holds a write on a due customer while three delete
  // commands start (two of every store, one of store 012); on SQLite longer
  // than the busy timeout of 5 s, so that their first attempts fail.
  auto writer = database_.Connect();
  writer->BeginTrans();
  writer->Execute("UPDATE CBASE SET CUBS_CUSTOM_MEI = 'held' WHERE CUBS_UNIQUE_KEY = 1");
  const std::string db = database_.connection_string();
  testing_support::Kvt710Process all({"delete", "--before", "20100101", "--db", db}),
      again({"delete", "--before", "20100101", "--db", db}),
      store({"delete", "--before", "20100101", "--store", "012", "--db", db});
  std::this_thread::sleep_for(
      std::chrono::milliseconds(GetParam() == Backend::kSQLite ? 5500 : 500));
  writer->CommitTrans();
  size_t total = 0;
  for (testing_support::Kvt710Process* run : {&all, &again, &store}) {
    EXPECT_EQ(run->Wait(), 0) << run->err();
    EXPECT_EQ(run->out().rfind("Marked ", 0), 0u) << run->out();
    total += std::stoul("0" + run->out().substr(7));
  }
  EXPECT_EQ(total, due_.size());
  ExpectMarks({});
}

TEST_P(DeletionConcurrency, SweepRacesDeletionsByKey) {
  // Every second due customer is deleted by key, from the highest key down.
  std::vector<int> keys;
  for (int k : due_)
    if (k % 2 == 0) keys.insert(keys.begin(), k);
  std::set<int> by_key;
  int32_t swept = -2;
  std::thread sweep([&] { swept = KVT710C2::Create()->DeleteCBaseYMD(20100101); });
  auto service = KVT710C2::Create();
  for (int k : keys)
    if (service->DeleteCBase(k, 1, 1) == emRetDelete) by_key.insert(k);
  sweep.join();
  // A sweep that lost every attempt changed nothing: running it again marks the rest.
  if (swept < 0) swept = KVT710C2::Create()->DeleteCBaseYMD(20100101);
  EXPECT_EQ(static_cast<size_t>(swept) + by_key.size(), due_.size());
  ExpectMarks(by_key);
}

INSTANTIATE_TEST_SUITE_P(Backends, DeletionConcurrency,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
