// The deletion service on each database: a run of sweeps (cut-off, store)
// and deletions by key, the customers each marks and the maintenance rows it
// leaves; a sweep that fails part way marks nobody. Then kvt710 check and
// delete end to end: check counts the customers and names a missing table or
// index; a sweep names what it marked; by key the flags reach the maintenance
// row; a key that is no whole number of at most 15 digits touches nothing.
// Last, deletions at once, each with its own connection: no customer lost or
// marked twice, no maintenance row duplicated, the counts add up.
#include <set>
#include <thread>

#include "cli/kvt710_process.h"
#include "deletion/KVT710C2.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::Rows;

class DeletionService : public ::testing::TestWithParam<Backend> {
 protected:
  DeletionService() : database_(GetParam()), clock_([] { return DateTime{2016, 7, 4, 13, 5, 9}; }) {
    settings_.UseConnection(database_.connection_string(), "1");
    connection_ = database_.Connect();
  }

  // Rows into `table (columns...)`, one VALUES list each, `last` added to each.
  void Insert(const std::string& table, std::initializer_list<const char*> rows,
              const std::string& last = "") {
    for (const char* row : rows)
      connection_->Execute("INSERT INTO " + table + " VALUES (" + row + last + ")");
  }
  std::string Marked() const {
    std::string keys;
    for (const std::string& key :
         Rows(*connection_, "SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_DATA_FLG = 2 ORDER BY 1"))
      keys += (keys.empty() ? "" : " ") + key;
    return keys;
  }

  testing_support::TestDatabase database_;
  testing_support::ScopedSettings settings_;
  ScopedClock clock_;
  std::shared_ptr<db::Connection> connection_;
};

TEST_P(DeletionService, SweepByNewestVisit) {
  Insert(
      "CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_DATA_FLG, "
      "CUBS_NEWBST_COMING, CUBS_UPD_DATE)",
      {"1, '012', 'ﾀﾅｶ', '0', '2009/12/31'", "2, '012', 'ﾀﾅｶ', '0', '2010/01/01'",
       "3, '013', 'ｽｽﾞｷ', '0', '2009/06/01'", "4, '012', 'ｻﾄｳ', '2', '2008/01/01'",
       "5, '012', 'ﾀﾅｶ', '0', Null", "6, '12', 'ﾀﾅｶ', '0', '2009/12/31'",
       "7, '', 'ﾀﾅｶ', '0', '2009/12/31'", "8, Null, Null, '0', '2009/12/31'",
       "9, 'O''Hara', 'O''Hara', '0', '2009/12/31'"},
      ", '2015/01/01 10:00:00'");
  // Customer 3's two maintenance rows are updated, not added to; 50's is left alone.
  Insert(
      "CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN, MTRN_KANA_MEI, "
      "MTRN_TRANSE_FLG, MTRN_UPD_FLG)",
      {"'001', 1, 3, 1, 'old', 9, 9", "'002', 2, 3, 5, 'old', 9, 9",
       "'001', 1, 50, 1, 'keep', 9, 9"});
  auto service = KVT710C2::Create();
  ASSERT_EQ(service->DBStatus(), 0);
  // A cut-off that is not a calendar date is refused before anything is read.
  for (int32_t bad : {20240230, 20231301, 2010101, 201001011, 0, -1, 99999999})
    EXPECT_EQ(service->DeleteCBaseYMD(bad), -1) << bad;
  EXPECT_EQ(Marked(), "4");
  // A sweep refused its second new maintenance row part way marks nobody, and
  // the service stays usable.
  const bool sqlite = GetParam() == Backend::kSQLite, maria = GetParam() == Backend::kMariaDB;
  if (testing_support::OnPostgres(GetParam()))
    connection_->Execute(
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF (SELECT "
        "count(*) FROM CMENTE_T) >= 4 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$");
  connection_->Execute(
      sqlite  ? "CREATE TRIGGER refuse BEFORE INSERT ON CMENTE_T WHEN (SELECT COUNT(*) FROM "
                "CMENTE_T) >= 4 BEGIN SELECT RAISE(ABORT, 'x'); END"
      : maria ? "CREATE TRIGGER refuse BEFORE INSERT ON CMENTE_T FOR EACH ROW BEGIN IF (SELECT "
                "COUNT(*) FROM CMENTE_T) >= 4 THEN SIGNAL SQLSTATE '45000'; END IF; END"
              : "CREATE TRIGGER refuse BEFORE INSERT ON CMENTE_T FOR EACH ROW EXECUTE FUNCTION "
                "refuse()");
  EXPECT_EQ(service->DeleteCBaseYMD(20100101), -1);
  EXPECT_EQ(Marked(), "4");
  connection_->Execute(sqlite || maria ? "DROP TRIGGER refuse" : "DROP TRIGGER refuse ON CMENTE_T");

  // Cut-off, store (Null: the empty store; none: every store), marks, marked then.
  const std::vector<std::tuple<int32_t, std::optional<Variant>, int32_t, std::string>> sweeps = {
      {20100101, Variant::String("012"), 1, "1 4"},
      {20100101, Variant::Null(), 1, "1 4 7"},
      {20100101, Variant::String("O'Hara"), 1, "1 4 7 9"},
      {20100101, std::nullopt, 3, "1 3 4 6 7 8 9"},
      {20100102, std::nullopt, 1, "1 2 3 4 6 7 8 9"},
  };
  for (const auto& [cut_off, store, marks, marked_then] : sweeps) {
    EXPECT_EQ(service->DeleteCBaseYMD(cut_off, store), marks) << marked_then;
    EXPECT_EQ(Marked(), marked_then);
  }
  // By key: absent and deleted customers are no data; the area is read at each call.
  EXPECT_EQ(service->DeleteCBase(99), emRetNoData);
  EXPECT_EQ(service->DeleteCBase(4), emRetNoData);
  settings_.Set(kCommonSection, "area", "3");
  EXPECT_EQ(service->DeleteCBase(5, 3, 4), emRetDelete);
  EXPECT_EQ(service->DeleteCBase(5), emRetNoData);
  EXPECT_EQ(Rows(*connection_,
                 "SELECT CUBS_UNIQUE_KEY, CUBS_UPD_DATE FROM CBASE WHERE CUBS_UNIQUE_KEY IN (4, 5)"
                 " ORDER BY 1"),
            (std::vector<std::string>{"4|2015/01/01 10:00:00", "5|2016/07/04 13:05:09"}));
  EXPECT_EQ(Rows(*connection_,
                 "SELECT MTRN_UNIQUE_KEY, MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_KBN, "
                 "MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T "
                 "ORDER BY MTRN_UNIQUE_KEY"),
            (std::vector<std::string>{
                "1|012|ﾀﾅｶ|2|2|2009/12/31|2016/07/04|0|0",
                "2|012|ﾀﾅｶ|2|2|2010/01/01|2016/07/04|0|0",
                "3|013|ｽｽﾞｷ|2|2|2009/06/01|2016/07/04|0|0",
                "3|013|ｽｽﾞｷ|2|2|2009/06/01|2016/07/04|0|0",
                "5|012|ﾀﾅｶ|1|2|NULL|2016/07/04|3|4",
                "6|12|ﾀﾅｶ|2|2|2009/12/31|2016/07/04|0|0",
                "7||ﾀﾅｶ|2|2|2009/12/31|2016/07/04|0|0",
                "8|||2|2|2009/12/31|2016/07/04|0|0",
                "9|O'Hara|O'Hara|2|2|2009/12/31|2016/07/04|0|0",
                "50|001|keep|1|1|NULL|NULL|9|9",
            }));
}

TEST_P(DeletionService, TheCommandsCheckSweepAndDeleteByKey) {
  // Live is any flag but 2, as the deletion service reads it.
  Insert("CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_NEWBST_COMING, CUBS_DATA_FLG)",
         {"1, '012', '2009/06/01', 0", "2, '013', '2009/12/31', 3", "3, '012', '2009/12/31', 0",
          "4, '012', '2012/01/01', 0", "5, '012', '2009/01/01', 2"});
  const std::string sound = "The ten tables, their keys and indexes are sound.\n";
  const std::string before = " deleted whose newest visit is before 2010/01/01";
  // Arguments, exit code, standard output.
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> steps = {
      {{"delete", "--key", "12A3"}, 2, ""},
      {{"delete", "--key", "1234567890123456"}, 2, ""},
      {{"delete", "--key", "12.5"}, 2, ""},
      {{"delete", "--key", std::string(400, '9')}, 2, ""},
      {{"check"}, 0, sound + "Live customers: 4\nDeleted customers: 1\n"},
      {{"delete", "--before", "20100101", "--store", "012"},
       0,
       "Marked 2 customers" + before + " of store 012:\n1 3\n"},
      {{"delete", "--before", "20100101"}, 0, "Marked 1 customer" + before + ":\n2\n"},
      {{"delete", "--before", "20100101"}, 0, "Marked 0 customers" + before + ".\n"},
      {{"delete", "--key", "4", "--transe-flg", "1", "--upd-flg", "3"},
       0,
       "Customer 4 marked deleted; its maintenance rows record the deletion (kind 2).\n"},
      {{"delete", "--key", "4"}, 1, "No live customer has the key 4; nothing changed.\n"},
      {{"check"}, 0, sound + "Live customers: 0\nDeleted customers: 5\n"},
  };
  for (const auto& [args, exit_code, out] : steps) {  // the database of the settings
    const auto run = testing_support::RunKvt710(args);
    EXPECT_EQ(run.exit_code, exit_code) << args[0] << ": " << run.err;
    EXPECT_EQ(run.out, out);
  }
  EXPECT_EQ(database_.Column("SELECT MTRN_KBN || '|' || MTRN_TRANSE_FLG || '|' || MTRN_UPD_FLG "
                             "FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = 4"),
            std::vector<std::string>{"2|1|3"});

  connection_->Execute("DROP TABLE CSYOKN");
  connection_->Execute(std::string("DROP INDEX CBASE_NEWBST_COMING_IX") +
                       (GetParam() == Backend::kMariaDB ? " ON CBASE" : ""));
  const auto broken = testing_support::RunKvt710({"check"});
  EXPECT_EQ(broken.exit_code, 4);
  for (const char* problem : {"table CSYOKN is missing", "index CBASE_NEWBST_COMING_IX on CBASE"})
    EXPECT_NE(broken.out.find(problem), std::string::npos) << broken.out;
}

INSTANTIATE_TEST_SUITE_P(Backends, DeletionService,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

// Customer k of 1500: store '013' when k % 3 == 0, else '012'; already
// deleted when k % 17 == 0; newest visit 2012/01/01 when k % 5 == 0, none
// when k % 23 == 0, else 2009/06/01. Those with k % 13 == 0 have a
// maintenance row already.
class DeletionConcurrency : public DeletionService {
 protected:
  DeletionConcurrency() {
    const bool sqlite = GetParam() == Backend::kSQLite;
    const std::string keys =
        sqlite ? " FROM (WITH RECURSIVE s(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM s WHERE k < "
                 "1500) SELECT k FROM s) numbers"
        : GetParam() == Backend::kMariaDB ? " FROM (SELECT seq AS k FROM seq_1_to_1500) numbers"
                                          : " FROM generate_series(1, 1500) AS k";
    connection_->Execute(
        "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_DATA_FLG, CUBS_NEWBST_COMING) "
        "SELECT k, CASE WHEN k % 3 = 0 THEN '013' ELSE '012' END, CASE WHEN k % 17 = 0 THEN 2 "
        "ELSE 0 END, CASE WHEN k % 5 = 0 THEN " +
        std::string(
            sqlite ? "'2012/01/01' WHEN k % 23 = 0 THEN NULL ELSE '2009/06/01' END"
                   : "DATE '2012-01-01' WHEN k % 23 = 0 THEN NULL ELSE DATE '2009-06-01' END") +
        keys);
    connection_->Execute(
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
        Rows(*connection_,
             "SELECT CUBS_UNIQUE_KEY, MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CBASE LEFT JOIN "
             "CMENTE_T ON MTRN_UNIQUE_KEY = CUBS_UNIQUE_KEY WHERE CUBS_DATA_FLG = 2 ORDER BY 1"),
        expected);
  }

  std::set<int> due_;
};

TEST_P(DeletionConcurrency, SweepsAtOnceBehindAHeldWriteMarkEachCustomerOnce) {
  // Another connection holds a write on a due customer while three delete
  // commands start (two of every store, one of store 012); on SQLite longer
  // than the busy timeout of 5 s, so that their first attempts fail.
  auto writer = database_.Connect();
  writer->BeginTrans();
  writer->Execute("UPDATE CBASE SET CUBS_CUSTOM_MEI = 'held' WHERE CUBS_UNIQUE_KEY = 1");
  testing_support::Kvt710Process all({"delete", "--before", "20100101"}),
      again({"delete", "--before", "20100101"}),
      store({"delete", "--before", "20100101", "--store", "012"});
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
