// The field-list executor's per-thread state, refusals and error reports.
#include <fstream>
#include <thread>

#include "fieldlist/KVT710C1.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/sibling/prw520.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::TestDatabase;

class ReportLog {
 public:
  ReportLog() : handle_(ListenForReports([this](const Report& r) { reports.push_back(r); })) {}
  std::vector<std::string> Sources() const {
    std::vector<std::string> sources;
    for (const Report& r : reports) sources.push_back(r.source);
    return sources;
  }
  std::vector<Report> reports;

 private:
  std::shared_ptr<void> handle_;
};

class Executor : public ::testing::Test {
 protected:
  Executor() : database_(Backend::kSQLite), trace_(dir_ / "trace.jsonl") {
    connection_ = database_.Connect();
    connection_->Execute("INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_FAMILY_CNT) VALUES (7, 1)");
  }
  ~Executor() override { KVT710C1::Create()->ObjConnect(nullptr); }

  // Fills `executor` for one run of `mode` on key 7.
  static void Fill(KVT710C1& executor, int32_t mode,
                   const std::vector<std::pair<std::string, std::string>>& pairs) {
    executor.CliantNo(7);
    executor.ExMode(mode);
    executor.FldCount(static_cast<int32_t>(pairs.size()));
    executor.subParaRedim();
    for (size_t i = 0; i < pairs.size(); ++i) {
      executor.FldIndex(static_cast<int32_t>(i + 1));
      executor.propFields(pairs[i].first);
      executor.propValue(pairs[i].second);
    }
  }

  // The number of command texts sent while `body` runs.
  template <class F>
  size_t SentDuring(F&& body) {
    ScopedEnv env("KVT710_TRACE_SQL", trace_.string());
    std::filesystem::remove(trace_);
    body();
    std::ifstream in(trace_);
    size_t lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
  }

  TempDir dir_;
  TestDatabase database_;
  std::filesystem::path trace_;
  std::shared_ptr<db::Connection> connection_;
};

TEST_F(Executor, SharedConnectionBelongsToTheThread) {
  auto assigning = KVT710C1::Create();
  auto running = KVT710C1::Create();
  assigning->ObjConnect(connection_);

  // Another thread's executor sees no connection: its run fails there, and
  // its own assignment does not reach this thread.
  ReportLog log;
  bool other_thread_result = true;
  std::thread([&] {
    auto other = KVT710C1::Create();
    Fill(*other, 2, {{"CUBS_SEX", "1"}});
    other_thread_result = other->funcExeSqlCbase();
    other->ObjConnect(db::Connection::Create());
  }).join();
  EXPECT_FALSE(other_thread_result);
  EXPECT_EQ(log.Sources(), std::vector<std::string>{"KVT710.funcExeSqlCbaseProc"});
  EXPECT_EQ(connection_->State(), db::kStateOpen);

  // The connection assigned on one instance is used by another of this thread.
  Fill(*running, 2, {{"CUBS_SEX", "2"}});
  EXPECT_TRUE(running->funcExeSqlCbase());
  EXPECT_EQ(database_.Scalar("SELECT CUBS_SEX FROM CBASE WHERE CUBS_UNIQUE_KEY = 7"), "2");

  // The run dropped it without closing: a second run has no connection.
  EXPECT_EQ(connection_->State(), db::kStateOpen);
  EXPECT_FALSE(running->funcExeSqlCbase());
  ASSERT_EQ(log.reports.size(), 2u);
  EXPECT_EQ(log.reports[1].source, "KVT710.funcExeSqlCbaseProc");
  EXPECT_EQ(log.reports[1].code, Variant::Integer(11015));
  EXPECT_EQ(log.reports[1].error_number, err::kConnectionClosed);
  EXPECT_EQ(connection_->State(), db::kStateOpen);
}

TEST_F(Executor, WorkingArraysAreSharedAndSizedByTheLastRedim) {
  auto wide = KVT710C1::Create();
  auto narrow = KVT710C1::Create();
  Fill(*wide, 2, {{"CUBS_SEX", "1"}, {"CUBS_KANA_MEI", "'A'"}});
  Fill(*narrow, 2, {{"CUBS_SEX", "2"}});  // resizes the thread's working arrays to one pair
  wide->ObjConnect(connection_);
  ReportLog log;
  size_t sent = SentDuring([&] { EXPECT_FALSE(wide->funcExeSqlCbase()); });
  EXPECT_EQ(sent, 0u);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].source, "KVT710.funcExeSqlCbase");
  EXPECT_EQ(log.reports[0].error_number, err::kSubscript);
  EXPECT_TRUE(log.reports[0].errors.empty()) << "the idle connection's list is empty";
  // The copy step leaves the shared connection alone: the next run uses it.
  EXPECT_EQ(connection_->State(), db::kStateOpen);
  EXPECT_TRUE(narrow->funcExeSqlCbase());
  EXPECT_EQ(database_.Scalar("SELECT CUBS_SEX FROM CBASE WHERE CUBS_UNIQUE_KEY = 7"), "2");
}

TEST_F(Executor, RefusedListsAndKeysRunNothing) {
  struct Case {
    double key;
    int32_t mode;
    std::vector<std::pair<std::string, std::string>> pairs;
  };
  const std::vector<Case> cases = {
      {7, 2, {{"CUBS_SEX", "1; DELETE FROM CBASE"}}},
      {7, 2, {{"CUBS_SEX", "1"}, {"CUBS_KANA_MEI", "'O'Hara'"}}},
      {7, 1, {{"CUBS_SEX", "1"}, {"CUBS_SEX) VALUES (8,1); --", "1"}}},
      {7, 2, {{"NO_SUCH_COLUMN", "1"}}},
      {7.5, 3, {}},
      {1e16, 2, {{"CUBS_SEX", "1"}}},
  };
  for (const Case& c : cases) {
    auto executor = KVT710C1::Create();
    Fill(*executor, c.mode, c.pairs);
    executor->CliantNo(c.key);
    executor->ObjConnect(connection_);
    ReportLog log;
    size_t sent = SentDuring([&] { EXPECT_FALSE(executor->funcExeSqlCbase()); });
    EXPECT_EQ(sent, 0u) << c.key;
    EXPECT_EQ(log.Sources(), std::vector<std::string>{"KVT710.funcCreateSql"});
    // A failed run closes the connection it was given.
    EXPECT_EQ(connection_->State(), db::kStateClosed);
    connection_ = database_.Connect();
  }
  auto family = KVT710C1::Create();
  family->CliantNo(0.5);
  family->propUDCnt(1);
  family->ObjConnect(connection_);
  ReportLog log;
  EXPECT_EQ(SentDuring([&] { EXPECT_FALSE(family->funcFamilyCntUD()); }), 0u);
  EXPECT_EQ(log.Sources(), std::vector<std::string>{"KVT710.funcFamilyCntUDProc"});
  EXPECT_EQ(database_.Scalar("SELECT COUNT(*) FROM CBASE"), "1");
  EXPECT_EQ(database_.Scalar("SELECT CUBS_SEX FROM CBASE"), "NULL");
}

TEST_F(Executor, UnknownModeIsReportedWithoutRunning) {
  auto executor = KVT710C1::Create();
  Fill(*executor, 1, {{"CUBS_SEX", "1"}});
  executor->subParaClear();  // mode 0, count 0, the arrays stay
  executor->ObjConnect(connection_);
  ReportLog log;
  EXPECT_EQ(SentDuring([&] { EXPECT_FALSE(executor->funcExeSqlCbase()); }), 0u);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].source, "KVT710.funcExeSqlCbaseProc");
  EXPECT_NE(log.reports[0].error_description.find("ExMode 0"), std::string::npos);
  EXPECT_EQ(connection_->State(), db::kStateClosed);
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
    try {
      executor->propValue("1");
      FAIL() << index;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kSubscript);
    }
  }
  executor->FldCount(KVT710C1::kMaxFields + 1);
  executor->subParaRedim();  // too many: the arrays stay at two pairs
  executor->FldIndex(2);
  executor->propFields("CUBS_KANA_MEI");
  executor->FldIndex(3);
  EXPECT_THROW(executor->propFields("CUBS_KANA_MEI"), Error);
}

TEST_F(Executor, LateBoundThroughTheRegistry) {
  auto executor = CreateObject("KVT710.KVT710C1");
  auto connection = CreateObject("ADODB.Connection");
  connection->Put("ConnectionString", Variant::String(database_.connection_string()));
  connection->Call("Open");
  executor->PutRef("ObjConnect", Variant::Object(connection));
  executor->Put("CliantNo", Variant::Long(7));
  executor->Put("ExMode", Variant::Long(2));
  executor->Put("FldCount", Variant::Long(1));
  executor->Call("subParaRedim");
  executor->Put("FldIndex", Variant::Long(1));
  executor->Put("propFields", Variant::String("CUBS_KANA_MEI"));
  executor->Put("propValue", Variant::String("'ﾀﾅｶ'"));
  EXPECT_EQ(executor->Call("funcExeSqlCbase"), Variant::Boolean(true));
  EXPECT_EQ(database_.Scalar("SELECT CUBS_KANA_MEI FROM CBASE"), "ﾀﾅｶ");

  executor->PutRef("ObjConnect", Variant::Object(connection));
  executor->Put("propUDCnt", Variant::Long(-1));
  EXPECT_EQ(executor->Call("funcFamilyCntUD"), Variant::Boolean(true));
  EXPECT_EQ(database_.Scalar("SELECT CUBS_FAMILY_CNT FROM CBASE"), "0");

  try {
    executor->Get("CliantNo");
    FAIL() << "CliantNo can only be assigned";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kUnknownMember);
  }
  try {
    executor->PutRef("ObjConnect", Variant::Object(CreateObject("PRW520.PRW520C1")));
    FAIL() << "ObjConnect takes a connection";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

}  // namespace
}  // namespace kvt710
