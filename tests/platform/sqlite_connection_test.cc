// Connections on SQLite files: opening, statements, the errors list, the
// one-statement rule, literals, transactions and static recordsets.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using testing_support::TempDir;
using testing_support::TestDatabase;

// Runs `body`, which must throw kvt710::Error, and returns the error.
template <class F>
Error Failure(F&& body) {
  try {
    body();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error was raised";
  return Error(0, "");
}

class SqliteConnectionTest : public ::testing::Test {
 protected:
  TestDatabase db_{testing_support::Backend::kSQLite};
  std::shared_ptr<Connection> cn_ = db_.Connect();
};

TEST_F(SqliteConnectionTest, OpensAFileInWalModeAndCloses) {
  TempDir dir;
  const std::string path = (dir / "new.db").string();
  auto cn = Connection::Create();
  EXPECT_EQ(cn->State(), kStateClosed);
  cn->set_connection_string("Provider=SQLite;Data Source=" + path + ";Mode=ReadWriteCreate");
  cn->Open();
  EXPECT_EQ(cn->State(), kStateOpen);
  EXPECT_TRUE(std::filesystem::exists(path));
  auto mode = cn->OpenRecordset("PRAGMA journal_mode", CursorType::kStatic, LockType::kReadOnly);
  EXPECT_EQ(mode->Field("journal_mode"), Variant::String("wal"));
  EXPECT_EQ(Failure([&] { cn->Open(); }).number(), kErrObjectOpen);
  cn->Close();
  cn->Close();  // closing twice is harmless
  EXPECT_EQ(cn->State(), kStateClosed);
  EXPECT_EQ(Failure([&] { cn->Execute("SELECT 1"); }).number(), err::kConnectionClosed);

  auto memory = Connection::Create();
  memory->Open("Provider=SQLite;Data Source=:memory:");
  memory->Execute("CREATE TABLE T (A)");
  EXPECT_EQ(memory->State(), kStateOpen);

  auto read_only = Connection::Create();
  read_only->Open("Provider=SQLite;Data Source=" + path + ";Mode=ReadOnly");
  EXPECT_THROW(read_only->Execute("CREATE TABLE T (A)"), Error);
}

TEST_F(SqliteConnectionTest, FailuresFillTheErrorsListWithoutSecrets) {
  Error syntax = Failure([&] { cn_->Execute("Delete From CGLASBS Where GLS_UNIQUE_KEY="); });
  EXPECT_EQ(syntax.number(), 1);  // SQLITE_ERROR
  EXPECT_EQ(syntax.source(), "SQLite");
  ASSERT_EQ(cn_->errors().list().size(), 1u);
  EXPECT_EQ(cn_->errors().list()[0].number, 1);
  EXPECT_EQ(cn_->errors().list()[0].description, "incomplete input");
  EXPECT_EQ(cn_->errors().list()[0].sqlstate, "");
  EXPECT_EQ(cn_->errors().list()[0].source, "SQLite");
  EXPECT_EQ(cn_->State(), kStateOpen);

  EXPECT_EQ(Failure([&] { cn_->Execute("Delete Fro CGLASBS"); }).description(),
            "near \"Fro\": syntax error");
  cn_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (7)");
  EXPECT_EQ(
      Failure([&] { cn_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (7)"); }).number(),
      1555);                                   // SQLITE_CONSTRAINT_PRIMARYKEY
  EXPECT_EQ(cn_->errors().list().size(), 3u);  // kept until Clear
  cn_->errors().Clear();

  // Opening a file that is not there fails and creates none; the string stays out.
  TempDir dir;
  const std::string mistyped = (dir / "shpo.db").string();
  auto cn = Connection::Create();
  Error open = Failure([&] { cn->Open("Provider=SQLite;Data Source=" + mistyped); });
  EXPECT_EQ(open.description(), "no such database file: " + mistyped);
  EXPECT_FALSE(std::filesystem::exists(mistyped));
  EXPECT_EQ(open.description().find("Provider"), std::string::npos);
  ASSERT_EQ(cn->errors().list().size(), 1u);
  EXPECT_EQ(cn->State(), kStateClosed);

  EXPECT_EQ(Failure([&] { cn->Open("Provider=NoSuch;Password=hunter2"); }).description(),
            "Provider cannot be found: NOSUCH");
  EXPECT_EQ(Failure([&] { cn->Open("Provider=SQLite"); }).number(), err::kBadConnectionString);
  for (const ProviderError& e : cn->errors().list()) {
    EXPECT_EQ(e.description.find("hunter2"), std::string::npos) << e.description;
  }
}

TEST_F(SqliteConnectionTest, ACommandTextHoldsExactlyOneStatement) {
  const std::string insert =
      "Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values ( '012',1,'a')";
  for (const std::string& text :
       {insert + ";" + insert, insert + "; Drop Table CBASE", insert + ";\n-- note\n" + insert,
        insert + "; garbage", std::string("Delete From CSYOKN; ") + insert}) {
    Error e = Failure([&] { cn_->Execute(text); });
    EXPECT_NE(e.description().find("exactly one statement"), std::string::npos) << e.description();
  }
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CSYOKN"), "0");
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM sqlite_master WHERE name = 'CBASE'"), "1");
  EXPECT_THROW(cn_->Execute(insert + std::string(1, '\0') + "x"), Error);
  EXPECT_THROW(cn_->Execute("  -- nothing\n"), Error);
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CSYOKN"), "0");

  // A trailing ";", blanks and comments are no second statement.
  cn_->Execute(insert + ";  ");
  cn_->Execute(insert + " -- why\n/* more */ ;");
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CSYOKN"), "2");
}

TEST_F(SqliteConnectionTest, LiteralsComeBackUnchanged) {
  const std::vector<std::string> texts = {"O'Hara's",    "''",           "",
                                          "  blanks  ",  "a\tb",         "line\nbreak\r\n",
                                          "back\\slash", "全角テキスト", "\u3000全角\u3000",
                                          "\"double\"",  "%_*?",         "Null"};
  for (const std::string& text : texts) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    quoted += "'";
    auto rs =
        cn_->OpenRecordset("SELECT " + quoted + " AS V", CursorType::kStatic, LockType::kReadOnly);
    EXPECT_EQ(rs->Field("v"), Variant::String(text)) << quoted;

    cn_->Execute("Insert Into CSYOKN(CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values (9," + quoted + ")");
    auto stored = cn_->OpenRecordset("SELECT CMNT_COMMENT_1 FROM CSYOKN WHERE CMNT_UNIQUE_KEY=9",
                                     CursorType::kStatic, LockType::kReadOnly);
    EXPECT_EQ(stored->Field("CMNT_COMMENT_1"), Variant::String(text)) << quoted;
    cn_->Execute("Delete From CSYOKN");
  }
}

TEST_F(SqliteConnectionTest, RollbackUndoesAndCommitKeeps) {
  cn_->BeginTrans();
  cn_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (1)");
  EXPECT_THROW(cn_->BeginTrans(), Error);  // no nesting
  cn_->RollbackTrans();
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CBASE"), "0");

  cn_->BeginTrans();
  cn_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (2)");
  // Another connection does not see the row before the commit.
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CBASE"), "0");
  cn_->CommitTrans();
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CBASE"), "1");
  EXPECT_THROW(cn_->CommitTrans(), Error);
  EXPECT_EQ(cn_->ExecuteCount("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 2"), 1);
  EXPECT_EQ(cn_->ExecuteCount("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 3"), 0);
}

TEST_F(SqliteConnectionTest, StaticRecordsetReadsEveryRowReadOnly) {
  cn_->Execute(
      "Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_STORE_NO,CUBS_CYL_SUM,CUBS_BIRTH_MD,CUBS_DATA_FLG)"
      " Values (1,'012',-1.25,0305,'0')");
  cn_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (12345678901)");

  auto count = cn_->OpenRecordset("Select Count(*) As CNT From CBASE Where CUBS_UNIQUE_KEY=1",
                                  CursorType::kStatic, LockType::kReadOnly);
  EXPECT_EQ(count->Field("cnt"), Variant::Long(1));
  EXPECT_EQ(count->FieldNames(), std::vector<std::string>{"CNT"});
  EXPECT_EQ(Failure([&] { count->Field("COUNT"); }).number(), kErrItemNotFound);
  EXPECT_EQ(Failure([&] { count->SetField("CNT", Variant::Long(2)); }).number(), kErrNotAllowed);
  EXPECT_EQ(Failure([&] { count->Update(); }).description(),
            "Operation is not allowed: the recordset is read-only");

  auto rows = cn_->OpenRecordset(
      "SELECT CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_CYL_SUM, CUBS_BIRTH_MD, CUBS_DATA_FLG, "
      "CUBS_KANA_MEI FROM CBASE ORDER BY CUBS_UNIQUE_KEY",
      CursorType::kStatic, LockType::kReadOnly);
  EXPECT_FALSE(rows->Bof());
  EXPECT_EQ(rows->Field("CUBS_UNIQUE_KEY"), Variant::Long(1));
  EXPECT_EQ(rows->Field("Cubs_Store_No"), Variant::String("012"));
  EXPECT_EQ(rows->Field("CUBS_CYL_SUM"), Variant::Double(-1.25));
  EXPECT_EQ(rows->Field("CUBS_BIRTH_MD"), Variant::Long(305));
  EXPECT_EQ(rows->Field("CUBS_DATA_FLG"), Variant::Long(0));
  EXPECT_TRUE(rows->Field("CUBS_KANA_MEI").IsNull());
  rows->MoveNext();
  EXPECT_EQ(rows->Field("CUBS_UNIQUE_KEY"), Variant::Double(12345678901.0));
  rows->MoveNext();
  EXPECT_TRUE(rows->Eof());
  EXPECT_EQ(Failure([&] { rows->Field("CUBS_UNIQUE_KEY"); }).number(), kErrNoCurrentRow);
  EXPECT_EQ(Failure([&] { rows->MoveNext(); }).number(), kErrNoCurrentRow);
  rows->MoveFirst();
  EXPECT_EQ(rows->Field("CUBS_UNIQUE_KEY"), Variant::Long(1));
  rows->Close();
  EXPECT_EQ(Failure([&] { rows->Eof(); }).number(), err::kConnectionClosed);

  auto none = cn_->OpenRecordset("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_UNIQUE_KEY = 0",
                                 CursorType::kStatic, LockType::kReadOnly);
  EXPECT_TRUE(none->Bof());
  EXPECT_TRUE(none->Eof());
}

}  // namespace
}  // namespace kvt710::db
