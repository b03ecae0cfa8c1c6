// The batch object's creation, properties, queue and running of the queue.
#include <fstream>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "platform/automation/registry.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "platform/sibling/prw520.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::ScopedEnv;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

// Collects every report that reaches an error reporter during a test.
class ReportLog {
 public:
  ReportLog() : handle_(ListenForReports([this](const Report& r) { reports.push_back(r); })) {}
  std::vector<Report> reports;

 private:
  std::shared_ptr<void> handle_;
};

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(BatchCreation, ChoosesTheConnectionStringByArea) {
  TestDatabase database(Backend::kSQLite);
  {
    ScopedSettings settings;
    settings.UseConnection(database.connection_string(), "1");
    auto batch = KVT710C3::Create();
    EXPECT_EQ(batch->DBStatus(), emDbNomal);
    EXPECT_EQ(batch->DBStatusString(), "");
    EXPECT_EQ(batch->SyoriKBN(), 1);
    EXPECT_TRUE(batch->CreateMenteTRN());
    EXPECT_EQ(batch->DBCon(), nullptr);
  }
  {
    // "2" takes DBPARMS even when DBPARMC is set too (here to a broken string).
    ScopedSettings settings;
    settings.Set(kCommonSection, "DBPARMC", "Provider=Nowhere");
    settings.UseConnection(database.connection_string(), "2");
    EXPECT_EQ(KVT710C3::Create()->DBStatus(), emDbNomal);
  }
  {
    // Only "1" and "2" choose a string (the rule: tests/policy/area_test.cc).
    ScopedSettings settings;
    settings.Set(kCommonSection, "area", " 1");
    settings.Set(kCommonSection, "DBPARMC", database.connection_string());
    auto batch = KVT710C3::Create();
    EXPECT_EQ(batch->DBStatus(), emDbError);
    EXPECT_EQ(batch->DBStatusString(), kAreaMessage);
  }
  {
    ScopedSettings settings;
    settings.Set(kCommonSection, "area", "1");
    ReportLog log;
    auto batch = KVT710C3::Create();
    EXPECT_EQ(batch->DBStatus(), emDbError);
    EXPECT_EQ(batch->DBStatusString(), kConnectionStringMessage);
    EXPECT_TRUE(log.reports.empty());
  }
}

// A mistyped database file is refused, not created empty.
TEST(BatchCreation, RefusedConnectionIsReportedOnceWith11002) {
  TempDir dir;
  ScopedSettings settings;
  const std::string mistyped = (dir / "shpo.db").string();
  settings.UseConnection("Provider=SQLite;Data Source=" + mistyped);
  ReportLog log;
  auto batch = KVT710C3::Create();
  EXPECT_EQ(batch->DBStatus(), emDbError);
  EXPECT_EQ(batch->DBStatusString(), "");
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].code, Variant::String("11002"));
  EXPECT_EQ(log.reports[0].source, "KVT710C3.Class_Initialize");
  EXPECT_EQ(log.reports[0].error_description, "no such database file: " + mistyped);
  EXPECT_FALSE(log.reports[0].errors.empty());
  EXPECT_FALSE(std::filesystem::exists(mistyped));
}

TEST(BatchCreation, FailsWhenTheReporterCannotBeCreated) {
  ScopedSettings settings;
  auto previous = ObjectRegistry::Default().Register("PRW520.PRW520C1",
                                                     [] { return std::shared_ptr<Dispatch>(); });
  EXPECT_THROW(KVT710C3::Create(), Error);
  ObjectRegistry::Default().Register("PRW520.PRW520C1", previous);
}

class BatchRun : public ::testing::Test {
 protected:
  BatchRun() : database_(Backend::kSQLite), trace_(dir_ / "trace.jsonl") {
    settings_.UseConnection(database_.connection_string());
    batch_ = KVT710C3::Create();
    caller_ = database_.Connect();
    batch_->SetDBCon(caller_);
  }

  // The command texts sent while `body` runs, masked.
  template <class F>
  std::vector<std::string> Traced(F&& body) {
    ScopedEnv env("KVT710_TRACE_SQL", trace_.string());
    std::filesystem::remove(trace_);
    body();
    std::vector<std::string> texts;
    for (const std::string& line : ReadLines(trace_)) texts.push_back(line);
    return texts;
  }

  CommentParams Comment(std::string text, std::string transe = {}) {
    return {"001", "1203", std::move(text), std::move(transe)};
  }

  TempDir dir_;
  TestDatabase database_;
  ScopedSettings settings_;
  std::filesystem::path trace_;
  std::shared_ptr<KVT710C3> batch_;
  std::shared_ptr<db::Connection> caller_;
};

TEST_F(BatchRun, CommentStatementTexts) {
  ScopedClock clock([] { return DateTime{2016, 7, 4, 13, 5, 9}; });
  EXPECT_EQ(batch_->Queue(), nullptr);
  EXPECT_EQ(batch_->SetSYOKANData(Comment("  it's  ")), 0);
  EXPECT_EQ(batch_->SetSYOKANData(Comment("two  words", "1")), 0);
  // A blank comment writes nothing but still creates the queue.
  EXPECT_EQ(batch_->SetSYOKANData(Comment("   ")), 0);
  EXPECT_EQ(batch_->Queue()->Dump(),
            "Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY,CMNT_COMMENT_1,CMNT_UPD_DATE,"
            "CMNT_TRANCE_FLG) Values ( '001',1203,'it''s','2016/07/04 13:05:09',Null)\n"
            "Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY,CMNT_COMMENT_1,CMNT_UPD_DATE,"
            "CMNT_TRANCE_FLG) Values ( '001',1203,'two  words','2016/07/04 13:05:09',1)\n");
  batch_->Initialize();
  EXPECT_EQ(batch_->Queue(), nullptr);
  EXPECT_EQ(batch_->SetSYOKANData(Comment("")), 0);
  ASSERT_NE(batch_->Queue(), nullptr);
  EXPECT_EQ(batch_->Queue()->Count(), 0);
}

TEST_F(BatchRun, LockThenExecuteDeletesTheHistoryThenRunsTheQueueInOrder) {
  ASSERT_EQ(batch_->SetSYOKANData(Comment("first")), 0);
  ASSERT_EQ(batch_->SetSYOKANData(Comment("second")), 0);
  auto texts = Traced([&] {
    batch_->LockCustomer("1203");
    EXPECT_EQ(batch_->Execute("1203"), 0);
  });
  EXPECT_EQ(batch_->StatementCount(false), static_cast<int64_t>(texts.size()));
  std::vector<std::string> expected;
  for (const char* d : {"Update CBASE Set CUBS_UNIQUE_KEY = CUBS_UNIQUE_KEY Where "
                        "CUBS_UNIQUE_KEY = 1203",
                        "Delete From CGLASBS Where GLS_UNIQUE_KEY=1203",
                        "Delete From CGLASDTL Where GLS_UNIQUE_KEY=1203",
                        "Delete From CCNTBS Where CNT_UNIQUE_KEY=1203",
                        "Delete From CCNTDTL Where CNT_UNIQUE_KEY=1203",
                        "Delete From CHOCHOBS Where HOC_UNIQUE_KEY=1203",
                        "Delete From CHOCHODTL Where HOCD_UNIQUE_KEY=1203",
                        "Delete From CSYOKN Where CMNT_UNIQUE_KEY=1203",
                        "Delete From CSALE Where CSALE_UNIQUE_KEY=1203"})
    expected.push_back(std::string(R"({"sql":")") + d + R"(","ok":true})");
  ASSERT_EQ(texts.size(), 11u);
  EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 9), expected);
  EXPECT_NE(texts[9].find("'first'"), std::string::npos);
  EXPECT_NE(texts[10].find("'second'"), std::string::npos);
  // The queue stays; running again replaces the rows instead of adding to them.
  EXPECT_EQ(batch_->Queue()->Count(), 2);
  EXPECT_EQ(batch_->Execute("1203"), 0);
  EXPECT_EQ(database_.Column("Select CMNT_COMMENT_1 From CSYOKN Order By CMNT_COMMENT_1"),
            (std::vector<std::string>{"first", "second"}));
}

TEST_F(BatchRun, ExecuteRefusesBadKeysAndMissingConnectionBeforeRunningAnything) {
  for (const char* key :
       {"", "1203;Delete From CBASE", "12 03", "1e3", "A12", "1234567890123456"}) {
    auto texts = Traced([&] {
      batch_->LockCustomer(key);
      EXPECT_THROW(batch_->Execute(key), Error) << key;
    });
    EXPECT_TRUE(texts.empty()) << key;
  }
  batch_->SetDBCon(nullptr);
  try {
    batch_->Execute("1203");
    FAIL() << "Execute without a caller connection must raise";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("DBCon"), std::string::npos);
  }
  ReportLog log;
  EXPECT_EQ(batch_->DelExecute("1203"), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].source, "KVT710C3.DelExecute");
}

TEST_F(BatchRun, FailingStatementLeavesNothingAfterHostRollback) {
  caller_->Execute(
      "Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values ('001',1203,'old')");
  ASSERT_EQ(batch_->SetSYOKANData(Comment("new")), 0);
  ASSERT_EQ(batch_->SetSYOKANData({"001", "1203", "bad", "1"}), 0);
  caller_->Execute("Drop Table CSALE");  // the eighth DELETE now fails
  caller_->BeginTrans();
  EXPECT_THROW(batch_->Execute("1203"), Error);
  caller_->RollbackTrans();
  EXPECT_EQ(database_.Column("Select CMNT_COMMENT_1 From CSYOKN"), std::vector<std::string>{"old"});
  // Without a transaction the statements before the failure stay.
  EXPECT_THROW(batch_->Execute("1203"), Error);
  EXPECT_EQ(database_.Scalar("Select Count(*) As CNT From CSYOKN"), "0");
  EXPECT_FALSE(caller_->errors().list().empty());
}

TEST_F(BatchRun, DelExecuteMarksThenRunsTheQueueAndReportsAFailure) {
  caller_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_DATA_FLG) Values (1203,'0')");
  ASSERT_EQ(batch_->SetSYOKANData(Comment("kept")), 0);
  auto texts = Traced([&] {
    batch_->LockCustomer("1203");
    EXPECT_EQ(batch_->DelExecute("1203"), 0);
  });
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(batch_->StatementCount(true), 3);
  EXPECT_EQ(
      texts[1],
      R"({"sql":"Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 1203","ok":true})");
  EXPECT_EQ(database_.Scalar("Select CUBS_DATA_FLG From CBASE"), "2");

  // The second queued statement fails: -1, one report, the first one stays.
  batch_->Initialize();
  ASSERT_EQ(batch_->SetSYOKANData(Comment("stays")), 0);
  ASSERT_EQ(batch_->SetSYOKANData({"001", "1203", "x", "1"}), 0);
  caller_->Execute(
      "Create Trigger refuse_x Before Insert On CSYOKN When NEW.CMNT_COMMENT_1 = 'x' "
      "Begin Select Raise(Abort, 'refused'); End");
  ReportLog log;
  EXPECT_EQ(batch_->DelExecute("1203"), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].code, Variant::String("11015"));
  EXPECT_EQ(log.reports[0].source, "KVT710C3.DelExecute");
  ASSERT_FALSE(log.reports[0].errors.empty());
  EXPECT_NE(log.reports[0].errors[0].description.find("refused"), std::string::npos);
  EXPECT_TRUE(caller_->errors().list().empty()) << "the caller's error list is cleared";
  EXPECT_EQ(database_.Scalar("Select Count(*) As CNT From CSYOKN Where CMNT_COMMENT_1 = 'stays'"),
            "1");
}

TEST(BatchLateBound, CommentThroughTheRegistry) {
  TestDatabase database(Backend::kSQLite);
  ScopedSettings settings;
  settings.UseConnection(database.connection_string());
  auto batch = CreateObject("KVT710.KVT710C3");
  EXPECT_EQ(batch->Get("dbstatus"), Variant::Long(0));
  auto connection = CreateObject("ADODB.Connection");
  connection->Put("ConnectionString", Variant::String(database.connection_string()));
  connection->Call("Open");
  batch->PutRef("DBCon", Variant::Object(connection));
  EXPECT_EQ(batch->Get("DBCon").ToObject(), connection);
  batch->Call("Initialize");
  // TranseFlg omitted; a number passed for a String parameter becomes its text.
  EXPECT_EQ(batch->Call("SetSyokanData", {Variant::String("001"), Variant::Long(1203),
                                          Variant::String("hello"), Variant::Missing()}),
            Variant::Long(0));
  EXPECT_EQ(batch->Call("Execute", {Variant::String("1203")}), Variant::Long(0));
  EXPECT_EQ(database.Scalar("Select CMNT_COMMENT_1 From CSYOKN Where CMNT_UNIQUE_KEY=1203"),
            "hello");
  try {
    batch->Call("SetSYOKANData", {Variant::String("001")});
    FAIL() << "a required argument was omitted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kNotOptional);
  }
  try {
    batch->Call("NoSuchMember");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kUnknownMember);
  }
}

}  // namespace
}  // namespace kvt710
