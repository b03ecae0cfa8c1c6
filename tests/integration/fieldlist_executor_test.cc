// The field-list executor's statements run on each database: exact texts,
// their effect, the family count, and what a failure does to the connection.
#include <fstream>

#include <nlohmann/json.hpp>

#include "fieldlist/KVT710C1.h"
#include "platform/db/connection.h"
#include "platform/sibling/prw520.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::TestDatabase;

class FieldListExecutor : public ::testing::TestWithParam<Backend> {
 protected:
  FieldListExecutor() : database_(GetParam()) { connection_ = database_.Connect(); }
  ~FieldListExecutor() override { KVT710C1::Create()->ObjConnect(nullptr); }

  // Runs funcExeSqlCbase of a fresh executor for key 12345 and returns its
  // result; the texts it sent are in sent_.
  bool Run(int32_t mode, const std::vector<std::pair<std::string, std::string>>& pairs) {
    auto executor = KVT710C1::Create();
    executor->ObjConnect(connection_);
    executor->CliantNo(12345);
    executor->ExMode(mode);
    executor->FldCount(static_cast<int32_t>(pairs.size()));
    executor->subParaRedim();
    for (size_t i = 0; i < pairs.size(); ++i) {
      executor->FldIndex(static_cast<int32_t>(i + 1));
      executor->propFields(pairs[i].first);
      executor->propValue(pairs[i].second);
    }
    return Traced([&] { return executor->funcExeSqlCbase(); });
  }

  template <class F>
  bool Traced(F&& body) {
    // A file of its own for each run: a process keeps its trace file open.
    const std::filesystem::path trace = dir_ / ("trace" + std::to_string(++runs_) + ".jsonl");
    ScopedEnv env("KVT710_TRACE_SQL", trace.string());
    const bool result = body();
    sent_.clear();
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);)
      sent_.push_back(nlohmann::json::parse(line).at("sql").get<std::string>());
    return result;
  }

  std::string Row() const {
    return database_.Scalar(
        "SELECT CUBS_KANA_MEI || '/' || CUBS_SEX FROM CBASE WHERE CUBS_UNIQUE_KEY = 12345");
  }

  TempDir dir_;
  TestDatabase database_;
  int runs_ = 0;
  std::shared_ptr<db::Connection> connection_;
  std::vector<std::string> sent_;
};

TEST_P(FieldListExecutor, InsertUpdateDeleteTextsAndEffects) {
  ASSERT_TRUE(Run(1, {{"CUBS_KANA_MEI", "'ﾀﾅｶ'"}, {"CUBS_SEX", "1"}}));
  EXPECT_EQ(sent_, std::vector<std::string>{"INSERT INTO CBASE (CUBS_UNIQUE_KEY,CUBS_KANA_MEI,"
                                            "CUBS_SEX) VALUES (12345,'ﾀﾅｶ',1)"});
  EXPECT_EQ(Row(), "ﾀﾅｶ/1");
  EXPECT_EQ(connection_->State(), db::kStateOpen) << "a run does not close the connection";

  ASSERT_TRUE(Run(2, {{"CUBS_KANA_MEI", "'O''Hara'"}, {"cubs_sex", "2"}}));
  EXPECT_EQ(sent_, std::vector<std::string>{"UPDATE CBASE SET CUBS_KANA_MEI = 'O''Hara',"
                                            "cubs_sex = 2 WHERE CUBS_UNIQUE_KEY = 12345"});
  EXPECT_EQ(Row(), "O'Hara/2");

  ASSERT_TRUE(Run(2, {{"CUBS_KANA_MEI", "Null"}}));
  EXPECT_EQ(database_.Scalar("SELECT CUBS_KANA_MEI FROM CBASE"), "NULL");

  // Delete ignores the pairs.
  ASSERT_TRUE(Run(3, {{"NOT_A_COLUMN", "not a literal"}}));
  EXPECT_EQ(sent_, std::vector<std::string>{"DELETE FROM CBASE WHERE CUBS_UNIQUE_KEY = 12345"});
  EXPECT_EQ(database_.Scalar("SELECT COUNT(*) FROM CBASE"), "0");

  ASSERT_TRUE(Run(1, {}));
  EXPECT_EQ(sent_, std::vector<std::string>{"INSERT INTO CBASE (CUBS_UNIQUE_KEY) VALUES (12345)"});
}

TEST_P(FieldListExecutor, FamilyCountAddsTheDifference) {
  connection_->Execute("INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_FAMILY_CNT) VALUES (12345, 3)");
  auto executor = KVT710C1::Create();
  executor->CliantNo(12345);
  executor->propUDCnt(-1);
  executor->ObjConnect(connection_);
  ASSERT_TRUE(Traced([&] { return executor->funcFamilyCntUD(); }));
  EXPECT_EQ(sent_, std::vector<std::string>{"UPDATE CBASE SET CUBS_FAMILY_CNT = CUBS_FAMILY_CNT "
                                            "+ -1 Where CUBS_UNIQUE_KEY = 12345"});
  EXPECT_EQ(database_.Scalar("SELECT CUBS_FAMILY_CNT FROM CBASE"), "2");
  // The run dropped the connection: without a new ObjConnect the next fails.
  EXPECT_FALSE(executor->funcFamilyCntUD());
  EXPECT_EQ(connection_->State(), db::kStateOpen);
  EXPECT_EQ(database_.Scalar("SELECT CUBS_FAMILY_CNT FROM CBASE"), "2");
}

TEST_P(FieldListExecutor, FailingStatementIsReportedAndClosesTheConnection) {
  std::vector<Report> reports;
  auto listening = ListenForReports([&](const Report& r) { reports.push_back(r); });
  ASSERT_TRUE(Run(1, {{"CUBS_SEX", "1"}}));
  // The same key again: the database refuses the INSERT.
  EXPECT_FALSE(Run(1, {{"CUBS_SEX", "2"}}));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].source, "KVT710.funcExeSqlCbaseProc");
  EXPECT_EQ(reports[0].code, Variant::Integer(11015));
  ASSERT_EQ(reports[0].errors.size(), 1u) << "the shared connection's error list";
  EXPECT_EQ(connection_->State(), db::kStateClosed);
  EXPECT_EQ(connection_->errors().list().size(), 1u) << "the executor never clears the list";

  // An UPDATE without pairs is refused by the database too.
  connection_ = database_.Connect();
  EXPECT_FALSE(Run(2, {}));
  EXPECT_EQ(sent_, std::vector<std::string>{"UPDATE CBASE SET  WHERE CUBS_UNIQUE_KEY = 12345"});
  EXPECT_EQ(reports.back().source, "KVT710.funcExeSqlCbaseProc");
  EXPECT_EQ(connection_->State(), db::kStateClosed);

  connection_ = database_.Connect();
  auto executor = KVT710C1::Create();
  executor->CliantNo(12345);
  executor->propUDCnt(1);
  executor->ObjConnect(connection_);
  connection_->Execute("DROP TABLE CBASE");
  EXPECT_FALSE(executor->funcFamilyCntUD());
  EXPECT_EQ(reports.back().source, "KVT710.funcFamilyCntUDProc");
  EXPECT_EQ(connection_->State(), db::kStateClosed);
}

INSTANTIATE_TEST_SUITE_P(Backends, FieldListExecutor,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
