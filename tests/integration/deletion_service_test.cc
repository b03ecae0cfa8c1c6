// The deletion service on each database: deleting by key and by sweep, the
// maintenance rows it writes, the settings it follows, and all-or-nothing
// sweeps.
#include <fstream>

#include <nlohmann/json.hpp>

#include "deletion/KVT710C2.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::ScopedEnv;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

constexpr DateTime kNow{2016, 7, 4, 13, 5, 9};
constexpr const char* kOldUpdate = "2015/01/01 10:00:00";

class DeletionService : public ::testing::TestWithParam<Backend> {
 protected:
  DeletionService()
      : database_(GetParam()), trace_(dir_ / "trace.jsonl"), clock_([] { return kNow; }) {
    settings_.UseConnection(database_.connection_string(), "1");
    connection_ = database_.Connect();
  }

  // A customer row; `newest` is an SQL literal ('2009/12/31' or Null).
  void AddCustomer(int key, const std::string& store, const std::string& newest,
                   const std::string& kana = "'ﾀﾅｶ'", int flag = 0) {
    connection_->Execute(
        "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_DATA_FLG, "
        "CUBS_NEWBST_COMING, CUBS_UPD_DATE) VALUES (" +
        std::to_string(key) + ", " + store + ", " + kana + ", '" + std::to_string(flag) + "', " +
        newest + ", '" + kOldUpdate + "')");
  }

  std::vector<std::string> Rows(const std::string& query) const {
    return testing_support::Rows(*connection_, query);
  }

  std::vector<std::string> Maintenance() const {
    return Rows(
        "SELECT MTRN_UNIQUE_KEY, MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_KBN, "
        "MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T "
        "ORDER BY MTRN_UNIQUE_KEY, MTRN_STORE_NO");
  }

  // Keys of the customers marked deleted, with their update time.
  std::vector<std::string> Marked() const {
    return Rows(
        "SELECT CUBS_UNIQUE_KEY, CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG = 2 "
        "ORDER BY CUBS_UNIQUE_KEY");
  }

  // Runs `body` and keeps the texts sent that write anything (not SELECT).
  template <class F>
  auto Traced(F&& body) {
    ScopedEnv env("KVT710_TRACE_SQL", trace_.string());
    std::filesystem::remove(trace_);
    auto result = body();
    writes_.clear();
    std::ifstream in(trace_);
    for (std::string line; std::getline(in, line);) {
      const std::string sql = nlohmann::json::parse(line).at("sql").get<std::string>();
      const size_t start = sql.find_first_not_of(' ');
      if (start == std::string::npos || sql.compare(start, 6, "SELECT") != 0)
        writes_.push_back(sql);
    }
    return result;
  }

  size_t CountWrites(const std::string& prefix) const {
    size_t n = 0;
    for (const std::string& w : writes_) n += w.rfind(prefix, 0) == 0;
    return n;
  }

  TempDir dir_;
  TestDatabase database_;
  ScopedSettings settings_;
  std::filesystem::path trace_;
  ScopedClock clock_;
  std::shared_ptr<db::Connection> connection_;
  std::vector<std::string> writes_;
};

TEST_P(DeletionService, DeleteByKey) {
  AddCustomer(1, "'012'", "'2009/12/31'");
  AddCustomer(2, "'012'", "'2009/12/31'", "'ｽｽﾞｷ'", 2);
  auto service = KVT710C2::Create();
  ASSERT_EQ(service->DBStatus(), 0);

  // Absent and already deleted keys: nothing is written.
  EXPECT_EQ(Traced([&] { return service->DeleteCBase(99); }), emRetNoData);
  EXPECT_EQ(Traced([&] { return service->DeleteCBase(2, 1, 1); }), emRetNoData);
  EXPECT_TRUE(writes_.empty());
  EXPECT_TRUE(Maintenance().empty());
  EXPECT_EQ(Marked(), std::vector<std::string>{std::string("2|") + kOldUpdate});

  EXPECT_EQ(Traced([&] { return service->DeleteCBase(1, 1, 0); }), emRetDelete);
  ASSERT_EQ(writes_.size(), 2u);
  EXPECT_EQ(writes_[0],
            "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_UNIQUE_KEY, "
            "MTRN_KBN, MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG,MTRN_UPD_FLG ) VAlUES "
            "('012', 'ﾀﾅｶ',2,1,2 ,'2009/12/31', '2016/07/04',1,0)");
  EXPECT_EQ(writes_[1].rfind("UPDATE CBASE SET CUBS_DATA_FLG = ", 0), 0u) << writes_[1];
  EXPECT_EQ(Marked(),
            (std::vector<std::string>{"1|2016/07/04 13:05:09", std::string("2|") + kOldUpdate}));
  EXPECT_EQ(Maintenance(), std::vector<std::string>{"1|012|ﾀﾅｶ|2|2|2009/12/31|2016/07/04|1|0"});
  EXPECT_EQ(service->DeleteCBase(1), emRetNoData);
}

TEST_P(DeletionService, SweepByNewestVisit) {
  AddCustomer(1, "'012'", "'2009/12/31'");
  AddCustomer(2, "'012'", "'2010/01/01'");  // on the cut-off day: not before it
  AddCustomer(3, "'013'", "'2009/06/01'", "'ｽｽﾞｷ'");
  AddCustomer(4, "'012'", "'2008/01/01'", "'ｻﾄｳ'", 2);  // already deleted
  AddCustomer(5, "'012'", "Null");
  AddCustomer(6, "'012'", "'2025/01/01'");
  auto service = KVT710C2::Create();
  // A cut-off that is not a calendar date is refused before anything is read.
  for (int32_t bad : {20240230, 20231301, 2010101, 201001011, 0, -1, 99999999})
    EXPECT_EQ(service->DeleteCBaseYMD(bad), -1) << bad;
  EXPECT_EQ(Marked(), std::vector<std::string>{std::string("4|") + kOldUpdate});
  EXPECT_EQ(Traced([&] { return service->DeleteCBaseYMD(20100101); }), 2);
  EXPECT_EQ(CountWrites("INSERT INTO CMENTE_T"), 2u);
  EXPECT_EQ(Marked(), (std::vector<std::string>{"1|2016/07/04 13:05:09", "3|2016/07/04 13:05:09",
                                                std::string("4|") + kOldUpdate}));
  EXPECT_EQ(Maintenance(), (std::vector<std::string>{
                               "1|012|ﾀﾅｶ|2|2|2009/12/31|2016/07/04|0|0",
                               "3|013|ｽｽﾞｷ|2|2|2009/06/01|2016/07/04|0|0",
                           }));
  EXPECT_EQ(Traced([&] { return service->DeleteCBaseYMD(20100101); }), 0);
  EXPECT_TRUE(writes_.empty());
  EXPECT_EQ(service->DeleteCBaseYMD(20100102), 1);
  EXPECT_EQ(Rows("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_DATA_FLG <> 2 ORDER BY 1"),
            (std::vector<std::string>{"5", "6"}));
}

TEST_P(DeletionService, SweepOfOneStore) {
  AddCustomer(1, "'012'", "'2009/12/31'");
  AddCustomer(2, "'12'", "'2009/12/31'");
  AddCustomer(3, "''", "'2009/12/31'");
  AddCustomer(4, "Null", "'2009/12/31'");
  AddCustomer(5, "'O''Hara'", "'2009/12/31'");
  auto service = KVT710C2::Create();
  EXPECT_EQ(service->DeleteCBaseYMD(20100101, Variant::String("012")), 1);
  EXPECT_EQ(Rows("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_DATA_FLG = 2"),
            std::vector<std::string>{"1"});
  // Null stands for the empty store, which a Null store is not.
  EXPECT_EQ(service->DeleteCBaseYMD(20100101, Variant::Null()), 1);
  EXPECT_EQ(Rows("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_DATA_FLG = 2 AND "
                 "CUBS_UNIQUE_KEY <> 1"),
            std::vector<std::string>{"3"});
  EXPECT_EQ(service->DeleteCBaseYMD(20100101, Variant::String("O'Hara")), 1);
  // Without a store every remaining one goes; the Null store is written as ''.
  EXPECT_EQ(service->DeleteCBaseYMD(20100101, std::nullopt), 2);
  EXPECT_EQ(Rows("SELECT MTRN_UNIQUE_KEY, MTRN_STORE_NO FROM CMENTE_T ORDER BY MTRN_UNIQUE_KEY"),
            (std::vector<std::string>{"1|012", "2|12", "3|", "4|", "5|O'Hara"}));
}

TEST_P(DeletionService, AreaChoosesConnectionAndHtKind) {
  AddCustomer(1, "'012'", "'2009/12/31'");
  AddCustomer(2, "'012'", "'2009/12/31'");
  AddCustomer(3, "'012'", "'2009/12/31'");
  {
    // Any area but "1" (" 1" here) takes DBPARMS and writes HT kind 1.
    ScopedSettings other;
    other.Set(kCommonSection, "DBPARMC", "Provider=Nowhere");
    other.UseConnection(database_.connection_string(), " 1");
    auto service = KVT710C2::Create();
    ASSERT_EQ(service->DBStatus(), 0);
    EXPECT_EQ(service->DeleteCBase(1), emRetDelete);
    // "1" without DBPARMC: the connect step fails.
    other.Set(kCommonSection, "area", "1");
    EXPECT_EQ(KVT710C2::Create()->DBStatus(), -1);
  }
  // "1" takes DBPARMC and HT kind 2, for DeleteCBase as for the sweep; the
  // setting is read at every call.
  auto service = KVT710C2::Create();
  ASSERT_EQ(service->DBStatus(), 0);
  EXPECT_EQ(service->DeleteCBase(2), emRetDelete);
  settings_.Set(kCommonSection, "area", "3");
  EXPECT_EQ(service->DeleteCBaseYMD(20100101), 1);
  EXPECT_EQ(Rows("SELECT MTRN_UNIQUE_KEY, MTRN_HT_KBN FROM CMENTE_T ORDER BY MTRN_UNIQUE_KEY"),
            (std::vector<std::string>{"1|1", "2|2", "3|1"}));
}

TEST_P(DeletionService, ExistingMaintenanceRowsAreUpdatedNotAdded) {
  AddCustomer(1, "'012'", "'2009/12/31'");
  for (const char* row : {"'001', 1, 1, 1, 'old', 9, 9", "'002', 2, 1, 5, 'old', 9, 9",
                          "'001', 1, 50, 1, 'keep', 9, 9"})
    connection_->Execute(
        std::string("INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, "
                    "MTRN_KBN, MTRN_KANA_MEI, MTRN_TRANSE_FLG, MTRN_UPD_FLG) VALUES (") +
        row + ")");
  auto service = KVT710C2::Create();
  EXPECT_EQ(Traced([&] { return service->DeleteCBase(1, 3, 4); }), emRetDelete);
  ASSERT_EQ(CountWrites("UPDATE CMENTE_T"), 1u);
  EXPECT_EQ(writes_[0],
            "UPDATE CMENTE_T SET MTRN_HT_KBN = 2,MTRN_KBN = 2, MTRN_KANA_MEI = 'ﾀﾅｶ', "
            "MTRN_STORE_NO = '012', MTRN_NEWBST_COMING = '2009/12/31', MTRN_UPDATE = "
            "'2016/07/04', MTRN_TRANSE_FLG = 3, MTRN_UPD_FLG = 4 WHERE MTRN_UNIQUE_KEY = 1");
  EXPECT_EQ(Maintenance(), (std::vector<std::string>{
                               "1|012|ﾀﾅｶ|2|2|2009/12/31|2016/07/04|3|4",
                               "1|012|ﾀﾅｶ|2|2|2009/12/31|2016/07/04|3|4",
                               "50|001|keep|1|1|NULL|NULL|9|9",
                           }));
}

TEST_P(DeletionService, NullNameStoreAndVisitAreWrittenNotFatal) {
  AddCustomer(1, "'012'", "'2009/12/31'");
  AddCustomer(2, "Null", "'2009/12/31'", "Null");
  AddCustomer(3, "'012'", "'2009/12/31'", "'O''Hara'");
  AddCustomer(4, "'012'", "Null");
  auto service = KVT710C2::Create();
  EXPECT_EQ(service->DeleteCBaseYMD(20100101), 3);
  EXPECT_EQ(Traced([&] { return service->DeleteCBase(4); }), emRetDelete);
  EXPECT_EQ(writes_[0],
            "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_UNIQUE_KEY, "
            "MTRN_KBN, MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG,MTRN_UPD_FLG ) VAlUES "
            "('012', 'ﾀﾅｶ',2,4,2 ,Null, '2016/07/04',0,0)");
  EXPECT_EQ(Maintenance(), (std::vector<std::string>{
                               "1|012|ﾀﾅｶ|2|2|2009/12/31|2016/07/04|0|0",
                               "2|||2|2|2009/12/31|2016/07/04|0|0",
                               "3|012|O'Hara|2|2|2009/12/31|2016/07/04|0|0",
                               "4|012|ﾀﾅｶ|2|2|NULL|2016/07/04|0|0",
                           }));
}

TEST_P(DeletionService, FailureMidSweepRollsBackEveryMark) {
  for (int key = 1; key <= 5; ++key) AddCustomer(key, "'012'", "'2009/12/31'");
  AddCustomer(6, "'012'", "'2011/01/01'");
  if (GetParam() == Backend::kSQLite) {
    connection_->Execute(
        "CREATE TRIGGER refuse_third BEFORE INSERT ON CMENTE_T "
        "WHEN (SELECT COUNT(*) FROM CMENTE_T) >= 2 BEGIN SELECT RAISE(ABORT, 'third refused'); "
        "END");
  } else {
    connection_->Execute(
        "CREATE FUNCTION refuse_third() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF (SELECT count(*) FROM CMENTE_T) >= 2 THEN RAISE EXCEPTION 'third refused'; END IF; "
        "RETURN NEW; END $$");
    connection_->Execute(
        "CREATE TRIGGER refuse_third BEFORE INSERT ON CMENTE_T FOR EACH ROW "
        "EXECUTE FUNCTION refuse_third()");
  }
  auto service = KVT710C2::Create();
  EXPECT_EQ(Traced([&] { return service->DeleteCBaseYMD(20100101); }), -1);
  EXPECT_EQ(CountWrites("INSERT INTO CMENTE_T"), 3u) << "two written, the third refused";
  EXPECT_TRUE(Marked().empty());
  EXPECT_TRUE(Maintenance().empty());

  // The service stays usable: without the trigger the same sweep marks all five.
  connection_->Execute(GetParam() == Backend::kSQLite ? "DROP TRIGGER refuse_third"
                                                      : "DROP TRIGGER refuse_third ON CMENTE_T");
  EXPECT_EQ(service->DeleteCBaseYMD(20100101), 5);
  EXPECT_EQ(Marked().size(), 5u);
}

TEST_P(DeletionService, SweepAcrossManyPages) {
  // More rows than one page of the updatable recordset, interleaved with
  // customers that stay.
  connection_->BeginTrans();
  for (int key = 1; key <= 1300; ++key)
    AddCustomer(key, "'012'", key % 7 == 0 ? "'2012/01/01'" : "'2009/12/31'");
  connection_->CommitTrans();
  auto service = KVT710C2::Create();
  const int32_t expected = 1300 - 1300 / 7;
  EXPECT_EQ(service->DeleteCBaseYMD(20100101), expected);
  EXPECT_EQ(database_.Scalar("SELECT COUNT(*) FROM CBASE WHERE CUBS_DATA_FLG = 2"),
            std::to_string(expected));
  EXPECT_EQ(database_.Scalar("SELECT COUNT(*) FROM CMENTE_T"), std::to_string(expected));
  EXPECT_EQ(database_.Scalar("SELECT COUNT(*) FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND "
                             "CUBS_NEWBST_COMING < '20100101'"),
            "0");
}

INSTANTIATE_TEST_SUITE_P(Backends, DeletionService,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
