// The batch object's creation, properties and the running of its queue.
#include "platform/automation/registry.h"
#include "platform/settings/settings.h"
#include "tests/batch/writer_fixture.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::Failure;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;
using writer_testing::ReportLog;
using writer_testing::Sent;

// The connection string by area; a mistyped database file is refused, not
// created empty, and reported once with 11002.
TEST(BatchCreation, ChoosesTheConnectionStringByAreaAndReportsARefusalOnce) {
  TestDatabase database(Backend::kSQLite);
  TempDir dir;
  const std::string good = database.connection_string(), mistyped = (dir / "shpo.db").string();
  const std::string refused = "Provider=SQLite;Data Source=" + mistyped;
  struct Case {
    const char *area, *dbparmc;
    int32_t status;
    std::string message;
  };
  const Case cases[] = {
      {"2", "Provider=Nowhere", emDbNomal, ""},
      {" 1", good.c_str(), emDbError, kAreaMessage},  // only "1" and "2"
      {"1", "", emDbError, kConnectionStringMessage},
      {"1", refused.c_str(), emDbError, ""},
  };
  ReportLog log;  // the refused connection, last, is the only report
  std::shared_ptr<KVT710C3> batch;
  for (const Case& c : cases) {
    ScopedSettings settings;
    settings.Set(kCommonSection, "area", c.area);
    if (*c.dbparmc) settings.Set(kCommonSection, "DBPARMC", c.dbparmc);
    settings.Set(kCommonSection, "DBPARMS", good);
    batch = KVT710C3::Create();
    EXPECT_EQ(batch->DBStatus(), c.status) << c.area;
    EXPECT_EQ(batch->DBStatusString(), c.message) << c.area;
    EXPECT_EQ(batch->SyoriKBN(), 1);
    EXPECT_TRUE(batch->CreateMenteTRN());
  }
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].code, Variant::String("11002"));
  EXPECT_EQ(log.reports[0].source, "KVT710C3.Class_Initialize");
  EXPECT_EQ(log.reports[0].error_description, "no such database file: " + mistyped);
  EXPECT_FALSE(log.reports[0].errors.empty());
  EXPECT_FALSE(std::filesystem::exists(mistyped));
  // Without its own connection a writer that reads fails.
  EXPECT_EQ(batch->SetBaseData(writer_testing::MinimalCustomer()), -1);
  ASSERT_EQ(log.reports.size(), 2u);
  EXPECT_EQ(log.reports[1].code, Variant::String("11015"));
  // Without its reporter it is not made at all.
  auto previous = ObjectRegistry::Default().Register("PRW520.PRW520C1",
                                                     [] { return std::shared_ptr<Dispatch>(); });
  EXPECT_THROW(KVT710C3::Create(), Error);
  ObjectRegistry::Default().Register("PRW520.PRW520C1", previous);
}

class BatchRun : public ::testing::Test {
 protected:
  BatchRun() { b_.SetSYOKANData({"001", "1203", "first", ""}); }

  static std::string Ok(const std::string& sql) { return R"({"sql":")" + sql + R"(","ok":true})"; }

  writer_testing::Bench bench_{Backend::kSQLite};
  KVT710C3& b_ = *bench_.batch;
};

TEST_F(BatchRun, ExecuteDeletesTheHistoryThenRunsTheQueueInOrder) {
  ASSERT_EQ(b_.SetSYOKANData({"001", "1203", "second", ""}), 0);
  auto sent = Sent([&] {
    b_.LockCustomer("1203");
    EXPECT_EQ(b_.Execute("1203"), 0);
  });
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
    expected.push_back(Ok(d));
  ASSERT_EQ(sent.size(), 11u);
  EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 9), expected);
  EXPECT_NE(sent[9].find("'first'"), std::string::npos);
  EXPECT_NE(sent[10].find("'second'"), std::string::npos);
  EXPECT_EQ(b_.StatementCount(false), 11);
  // The queue stays; running again replaces the rows instead of adding to them.
  EXPECT_EQ(b_.Execute("1203"), 0);
  EXPECT_EQ(bench_.database.Column("Select CMNT_COMMENT_1 From CSYOKN Order By CMNT_COMMENT_1"),
            (std::vector<std::string>{"first", "second"}));
  // A failing statement raises; the host's rollback leaves the rows as they were.
  bench_.caller->Execute("Drop Table CSALE");
  bench_.caller->BeginTrans();
  EXPECT_THROW(b_.Execute("1203"), Error);
  bench_.caller->RollbackTrans();
  EXPECT_EQ(bench_.database.Scalar("Select Count(*) As CNT From CSYOKN"), "2");
}

// Keys are written bare: anything but a plain number of at most 15 digits is
// refused before any statement is sent.
TEST_F(BatchRun, ExecuteAndDelExecuteRefuseKeysBeforeRunningAnything) {
  for (const char* key : {"", "1203;Delete From CBASE", "12 03", "1e3", "A12", "1234567890123456",
                          "12345678901234567890"}) {
    ReportLog log;
    auto sent = Sent([&] {
      b_.LockCustomer(key);
      EXPECT_THROW(b_.Execute(key), Error) << key;
      EXPECT_EQ(b_.DelExecute(key), -1) << key;
    });
    EXPECT_TRUE(sent.empty()) << key;
    ASSERT_EQ(log.reports.size(), 1u) << key;
    EXPECT_EQ(log.reports[0].code, Variant::String("11015"));
    EXPECT_EQ(log.reports[0].source, "KVT710C3.DelExecute");
  }
  b_.SetDBCon(nullptr);
  EXPECT_NE(Failure([&] { b_.Execute("1203"); }).description().find("DBCon"), std::string::npos);
  EXPECT_EQ(b_.DelExecute("1203"), -1);
}

TEST_F(BatchRun, DelExecuteMarksThenRunsTheQueueAndReportsAFailure) {
  bench_.caller->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_DATA_FLG) Values (1203,'0')");
  auto sent = Sent([&] { EXPECT_EQ(b_.DelExecute("1203"), 0); });
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0], Ok("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 1203"));
  EXPECT_EQ(b_.StatementCount(true), 3);
  EXPECT_EQ(bench_.database.Scalar("Select CUBS_DATA_FLG From CBASE"), "2");

  // The second queued statement fails: -1, one report, the first one stays.
  ASSERT_EQ(b_.SetSYOKANData({"001", "1203", "x", "1"}), 0);
  bench_.caller->Execute(
      "Create Trigger refuse_x Before Insert On CSYOKN When NEW.CMNT_COMMENT_1 = 'x' "
      "Begin Select Raise(Abort, 'refused'); End");
  ReportLog log;
  EXPECT_EQ(b_.DelExecute("1203"), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].code, Variant::String("11015"));
  ASSERT_FALSE(log.reports[0].errors.empty());
  EXPECT_NE(log.reports[0].errors[0].description.find("refused"), std::string::npos);
  EXPECT_TRUE(bench_.caller->errors().list().empty()) << "the caller's error list is cleared";
  EXPECT_EQ(bench_.database.Scalar("Select Count(*) As CNT From CSYOKN"), "2");
  b_.Initialize();
  EXPECT_EQ(b_.Queue(), nullptr);
}

TEST_F(BatchRun, PropertiesThroughTheRegistry) {
  Dispatch& batch = b_;
  EXPECT_EQ(batch.Get("dbstatus"), Variant::Long(0));
  auto connection = CreateObject("ADODB.Connection");
  batch.PutRef("DBCon", Variant::Object(connection));
  EXPECT_EQ(batch.Get("DBCon").ToObject(), connection);
  batch.Put("SyoriKBN", Variant::Long(0));
  EXPECT_EQ(batch.Get("SyoriKBN"), Variant::Long(0));
  EXPECT_THROW(batch.PutRef("DBCon", Variant::Object(bench_.batch)), Error) << "a connection only";
  EXPECT_THROW(batch.Call("NoSuchMember"), Error);
}

}  // namespace
}  // namespace kvt710
