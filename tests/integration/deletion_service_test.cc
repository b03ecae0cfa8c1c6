// The deletion service on each database: a run of sweeps (cut-off, store)
// and deletions by key, the customers each marks and the maintenance rows it
// leaves; a sweep that fails part way marks nobody.
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
  // Key, store, kana name, flag, newest visit.
  for (const char* c : {"1, '012', 'ﾀﾅｶ', '0', '2009/12/31'", "2, '012', 'ﾀﾅｶ', '0', '2010/01/01'",
                        "3, '013', 'ｽｽﾞｷ', '0', '2009/06/01'", "4, '012', 'ｻﾄｳ', '2', '2008/01/01'",
                        "5, '012', 'ﾀﾅｶ', '0', Null", "6, '12', 'ﾀﾅｶ', '0', '2009/12/31'",
                        "7, '', 'ﾀﾅｶ', '0', '2009/12/31'", "8, Null, Null, '0', '2009/12/31'",
                        "9, 'O''Hara', 'O''Hara', '0', '2009/12/31'"})
    connection_->Execute(std::string("INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, "
                                     "CUBS_KANA_MEI, CUBS_DATA_FLG, CUBS_NEWBST_COMING, "
                                     "CUBS_UPD_DATE) VALUES (") +
                         c + ", '2015/01/01 10:00:00')");
  // Customer 3's two maintenance rows are updated, not added to; 50's is left alone.
  for (const char* row :
       {"'001', 1, 3, 1, 'old'", "'002', 2, 3, 5, 'old'", "'001', 1, 50, 1, 'keep'"})
    connection_->Execute(std::string("INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, "
                                     "MTRN_UNIQUE_KEY, MTRN_KBN, MTRN_KANA_MEI, MTRN_TRANSE_FLG, "
                                     "MTRN_UPD_FLG) VALUES (") +
                         row + ", 9, 9)");
  auto service = KVT710C2::Create();
  ASSERT_EQ(service->DBStatus(), 0);
  // A cut-off that is not a calendar date is refused before anything is read.
  for (int32_t bad : {20240230, 20231301, 2010101, 201001011, 0, -1, 99999999})
    EXPECT_EQ(service->DeleteCBaseYMD(bad), -1) << bad;
  EXPECT_EQ(Marked(), "4");
  // A sweep refused its second new maintenance row part way marks nobody, and
  // the service stays usable.
  const bool sqlite = GetParam() == Backend::kSQLite;
  if (!sqlite)
    connection_->Execute(
        "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF (SELECT "
        "count(*) FROM CMENTE_T) >= 4 THEN RAISE EXCEPTION 'refused'; END IF; RETURN NEW; END $$");
  connection_->Execute(sqlite ? "CREATE TRIGGER refuse BEFORE INSERT ON CMENTE_T WHEN (SELECT "
                                "COUNT(*) FROM CMENTE_T) >= 4 BEGIN SELECT RAISE(ABORT, 'x'); END"
                              : "CREATE TRIGGER refuse BEFORE INSERT ON CMENTE_T FOR EACH ROW "
                                "EXECUTE FUNCTION refuse()");
  EXPECT_EQ(service->DeleteCBaseYMD(20100101), -1);
  EXPECT_EQ(Marked(), "4");
  connection_->Execute(sqlite ? "DROP TRIGGER refuse" : "DROP TRIGGER refuse ON CMENTE_T");

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

INSTANTIATE_TEST_SUITE_P(Backends, DeletionService,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
