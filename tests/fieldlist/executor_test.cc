// The field-list executor: what its statements refuse, its per-thread
// connection and working arrays, and its error reports.
#include <cmath>
#include <limits>
#include <thread>

#include "fieldlist/KVT710C1.h"
#include "fieldlist/field_list_sql.h"
#include "platform/db/connection.h"
#include "platform/sibling/prw520.h"
#include "tests/batch/writer_fixture.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::Failure;
using testing_support::TestDatabase;
using writer_testing::Sent;
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(FieldListSql, NamesMustBeColumnsOfTheCustomerMaster) {
  // Trimmed names are accepted, and sent as received.
  for (const char* ok : {"CUBS_KANA_MEI", "cubs_sex", "CUBS_FREE_17_16", "CUBS_EVENT_FLG_16",
                         "CUBS_BUY16_FLG", "CUBS_TRANSE_FLG", "CUBS_UNIQUE_KEY", " CUBS_SEX "})
    EXPECT_TRUE(fieldlist::IsBaseColumn(ok)) << ok;
  for (const char* bad : {"", "CUBS_FREE_17", "CUBS_EVENT_FLG_17", "MTRN_KBN",
                          "CUBS_SEX,CUBS_DATA_FLG", "CUBS_SEX\t", "CUBS_SEX=1", "1"})
    EXPECT_FALSE(fieldlist::IsBaseColumn(bad)) << bad;
  EXPECT_EQ(fieldlist::funcCreateSql(fieldlist::kUpdate, 1, 1, {" CUBS_SEX "}, {"1"}),
            "UPDATE CBASE SET  CUBS_SEX  = 1 WHERE CUBS_UNIQUE_KEY = 1");
  for (const char* ok : {"'O''Hara'", " 42 ", "-1", "Null", "NULL", "null"})
    EXPECT_TRUE(fieldlist::IsSqlLiteral(ok)) << ok;
  for (const char* bad : {"", "'x'); DELETE FROM CBASE; --", "Nul", "Null Null", "CUBS_SEX"})
    EXPECT_FALSE(fieldlist::IsSqlLiteral(bad)) << bad;
  EXPECT_EQ(fieldlist::KeyText(-0.0), "0");
  EXPECT_EQ(fieldlist::KeyText(999999999999999.0), "999999999999999");
  for (double key : {0.5, 1e15, -1e300, std::numeric_limits<double>::infinity(), std::nan("")}) {
    EXPECT_THROW(fieldlist::funcCreateSql(fieldlist::kDelete, key, 0, {}, {}), Error) << key;
    EXPECT_THROW(fieldlist::FamilyCountSql(key, 1), Error) << key;
  }
}

class Executor : public ::testing::Test {
 protected:
  Executor() : database_(Backend::kSQLite) {
    connection_ = database_.Connect();
    connection_->Execute("INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_FAMILY_CNT) VALUES (7, 1)");
  }
  ~Executor() override { KVT710C1::Create()->ObjConnect(nullptr); }

  static void Fill(KVT710C1& executor, int32_t mode, const Pairs& pairs, double key = 7) {
    executor.CliantNo(key);
    executor.ExMode(mode);
    executor.FldCount(static_cast<int32_t>(pairs.size()));
    executor.subParaRedim();
    for (size_t i = 0; i < pairs.size(); ++i) {
      executor.FldIndex(static_cast<int32_t>(i + 1));
      executor.propFields(pairs[i].first);
      executor.propValue(pairs[i].second);
    }
  }
  std::string Sex() { return database_.Scalar("SELECT CUBS_SEX FROM CBASE"); }

  TestDatabase database_;
  std::shared_ptr<db::Connection> connection_;
  std::vector<Report> reports_;
  std::shared_ptr<void> listening_ =
      ListenForReports([this](const Report& r) { reports_.push_back(r); });
};

// Names, values and keys go into the text bare: a refused one sends nothing.
TEST_F(Executor, RefusedListsAndKeysRunNothing) {
  struct Case {
    double key;
    int32_t mode;
    Pairs pairs;
  };
  const std::vector<Case> cases = {
      {7, 2, {{"CUBS_SEX", "1; DELETE FROM CBASE"}}},
      {7, 2, {{"CUBS_SEX", "1"}, {"CUBS_KANA_MEI", "'O'Hara'"}}},
      {7, 1, {{"CUBS_SEX", "1"}, {"CUBS_SEX) VALUES (8,1); --", "1"}}},
      {7, 2, {{"NO_SUCH_COLUMN", "1"}}},
      {7, 2, {{"cubs_family_key", "1234567890123456"}}},  // key columns take keys only
      {7, 2, {{"CUBS_UNIQUE_KEY", "1e5"}}},
      {7, 2, {{"CUBS_FAMILY_KEY", "'12'"}}},
      {7.5, 3, {}},
      {1e16, 2, {{"CUBS_SEX", "1"}}},
  };
  for (const Case& c : cases) {
    auto executor = KVT710C1::Create();
    Fill(*executor, c.mode, c.pairs, c.key);
    executor->ObjConnect(connection_);
    reports_.clear();
    EXPECT_EQ(Sent([&] { EXPECT_FALSE(executor->funcExeSqlCbase()); }).size(), 0u) << c.key;
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].source, "KVT710.funcCreateSql");
    EXPECT_EQ(reports_[0].code, Variant::Integer(11015));
    // A failed run closes the connection it was given.
    EXPECT_EQ(connection_->State(), db::kStateClosed);
    connection_ = database_.Connect();
  }
  auto family = KVT710C1::Create();
  family->CliantNo(0.5);
  family->propUDCnt(1);
  family->ObjConnect(connection_);
  EXPECT_EQ(Sent([&] { EXPECT_FALSE(family->funcFamilyCntUD()); }).size(), 0u);
  EXPECT_EQ(reports_.back().source, "KVT710.funcFamilyCntUDProc");
  // Unknown mode: reported where it runs.
  auto unknown = KVT710C1::Create();
  Fill(*unknown, 1, {{"CUBS_SEX", "1"}});
  unknown->subParaClear();  // mode 0, count 0, the arrays stay
  unknown->ObjConnect(database_.Connect());
  EXPECT_FALSE(unknown->funcExeSqlCbase());
  EXPECT_NE(reports_.back().error_description.find("ExMode 0"), std::string::npos);
  EXPECT_EQ(database_.Scalar("SELECT COUNT(*) FROM CBASE"), "1");
  EXPECT_EQ(Sex(), "NULL");
}

TEST_F(Executor, ConnectionAndArraysBelongToTheThread) {
  auto assigning = KVT710C1::Create();
  auto running = KVT710C1::Create();
  assigning->ObjConnect(connection_);
  // Another thread's executor sees no connection, and its own does not reach this thread.
  bool other_result = true;
  std::thread([&] {
    auto other = KVT710C1::Create();
    Fill(*other, 2, {{"CUBS_SEX", "1"}});
    other_result = other->funcExeSqlCbase();
    other->ObjConnect(db::Connection::Create());
  }).join();
  EXPECT_FALSE(other_result);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].source, "KVT710.funcExeSqlCbaseProc");

  // The working arrays are shared too, sized by the last redim.
  Fill(*running, 2, {{"CUBS_SEX", "1"}, {"CUBS_KANA_MEI", "'A'"}});
  Fill(*assigning, 2, {{"CUBS_SEX", "2"}});
  EXPECT_EQ(Sent([&] { EXPECT_FALSE(running->funcExeSqlCbase()); }).size(), 0u);
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[1].source, "KVT710.funcExeSqlCbase");
  EXPECT_EQ(reports_[1].error_number, err::kSubscript);
  EXPECT_TRUE(reports_[1].errors.empty()) << "the idle connection's list is empty";

  // The copy step left the connection alone; the run uses it, then drops it unclosed.
  EXPECT_TRUE(assigning->funcExeSqlCbase());
  EXPECT_EQ(Sex(), "2");
  EXPECT_EQ(connection_->State(), db::kStateOpen);
  EXPECT_FALSE(assigning->funcExeSqlCbase());
  EXPECT_EQ(reports_.back().error_number, err::kConnectionClosed);
  EXPECT_EQ(connection_->State(), db::kStateOpen);
}

TEST_F(Executor, PairsNeedSizedArraysAndAnIndexInside) {
  auto executor = KVT710C1::Create();
  EXPECT_THROW(executor->propFields("CUBS_SEX"), Error) << "arrays never sized";
  executor->FldCount(0);
  executor->subParaRedim();  // a count below 1 sizes nothing
  EXPECT_THROW(executor->propValue("1"), Error);
  executor->FldCount(2);
  executor->subParaRedim();
  executor->propFields("CUBS_SEX");  // FldIndex 0 of a fresh instance is the first pair
  for (int32_t index : {0, 3, -2147483647 - 1}) {
    executor->FldIndex(index);
    EXPECT_EQ(Failure([&] { executor->propValue("1"); }).number(), err::kSubscript) << index;
  }
  executor->FldCount(KVT710C1::kMaxFields + 1);
  executor->subParaRedim();  // too many: the arrays stay at two pairs
  executor->FldIndex(2);
  executor->propFields("CUBS_KANA_MEI");
  executor->FldIndex(3);
  EXPECT_THROW(executor->propFields("CUBS_KANA_MEI"), Error);
  // Lists shorter than the count are a subscript error, not a short statement.
  EXPECT_EQ(Failure([] {
              fieldlist::funcCreateSql(fieldlist::kInsert, 1, 3, {"CUBS_SEX"}, {"1"});
            }).number(),
            err::kSubscript);
}

}  // namespace
}  // namespace kvt710
