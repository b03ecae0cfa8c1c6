// The PostgreSQL backend against a real server (KVT710_TEST_PG), each test in
// a schema of its own with the real tables.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "platform/automation/error.h"
#include "platform/db/backend.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/postgres/postgres_backend.h"
#include "platform/db/schema.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using testing_support::ReadSourceFile;
using testing_support::TestDatabase;

constexpr const char* kServerPassword = "s3cr3t-Pw";

// Runs `body`, which must fail with a ProviderFailure, and returns its detail.
template <class F>
ProviderError FailureOf(F&& body) {
  try {
    body();
  } catch (const ProviderFailure& failure) {
    return failure.detail();
  } catch (const Error& error) {
    ADD_FAILURE() << "not a provider failure: " << error.number() << " " << error.description();
    return {};
  }
  ADD_FAILURE() << "no failure";
  return {};
}

class PostgresBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* server = std::getenv("KVT710_TEST_PG");
    if (server == nullptr || *server == '\0') {
      const char* require = std::getenv("KVT710_REQUIRE_PG");
      if (require != nullptr && std::string(require) == "1") {
        FAIL() << "KVT710_TEST_PG is not set although KVT710_REQUIRE_PG=1";
      }
      GTEST_SKIP() << "KVT710_TEST_PG is not set: no PostgreSQL server to test against "
                      "(see scripts/pg-test-server)";
    }
    server_ = server;
    db_ = std::make_unique<TestDatabase>(testing_support::Backend::kPostgreSQL);
    backend_ = Open(db_->connection_string());
  }

  static std::unique_ptr<Backend> Open(const std::string& connection_string, int timeout = 0) {
    auto backend = NewPostgresBackend();
    backend->Open(ParseConnectionString(connection_string), timeout);
    return backend;
  }

  // Every row of `sql`, as the cursor gives it.
  std::vector<std::vector<Variant>> Rows(const std::string& sql,
                                         const std::vector<Variant>& values = {}) {
    auto cursor = values.empty() ? backend_->Query(sql) : backend_->QueryBound(sql, values);
    std::vector<std::vector<Variant>> rows;
    std::vector<Variant> row;
    while (cursor->Next(row)) rows.push_back(row);
    return rows;
  }

  Variant Scalar(const std::string& sql, const std::vector<Variant>& values = {}) {
    const auto rows = Rows(sql, values);
    if (rows.empty() || rows[0].empty()) {
      ADD_FAILURE() << "no value from " << sql;
      return Variant();
    }
    return rows[0][0];
  }

  // The server's connection string with another password.
  std::string WithPassword(const std::string& password) const {
    const ConnectionParameters params = ParseConnectionString(server_);
    auto value = [&](const char* key) { return params.Find(key).value_or(""); };
    return "Provider=PostgreSQL;Host=" + value("Host") + ";Port=" + value("Port") +
           ";Database=" + value("Database") + ";User ID=" + value("User ID") + ";Password=\"" +
           password + "\"";
  }

  std::string server_;
  std::unique_ptr<TestDatabase> db_;
  std::unique_ptr<Backend> backend_;
};

TEST_F(PostgresBackendTest, OpensRunsAndCloses) {
  EXPECT_TRUE(backend_->IsOpen());
  backend_->Execute("Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY) Values ( '012',7)");
  EXPECT_EQ(Scalar("Select CMNT_STORE_NO From CSYOKN Where CMNT_UNIQUE_KEY=7"),
            Variant::String("012"));
  EXPECT_EQ(Scalar("SHOW standard_conforming_strings"), Variant::String("on"));
  EXPECT_EQ(Scalar("SHOW client_encoding"), Variant::String("UTF8"));
  EXPECT_EQ(Scalar("SHOW statement_timeout"), Variant::String("0"));
  EXPECT_EQ(Scalar("SHOW DateStyle"), Variant::String("ISO, YMD"));

  EXPECT_EQ(backend_->ExecuteBound("Update CSYOKN Set CMNT_TRANCE_FLG = $1 Where CMNT_UNIQUE_KEY "
                                   "= $2",
                                   {Variant::Long(1), Variant::Long(7)}),
            1);
  EXPECT_EQ(backend_->ExecuteBound("Delete From CSYOKN Where CMNT_UNIQUE_KEY=8", {}), 0);
  EXPECT_EQ(backend_->Placeholder(3), "$3");

  backend_->Close();
  EXPECT_FALSE(backend_->IsOpen());
  try {
    backend_->Execute("Select 1");
    ADD_FAILURE() << "a closed backend ran a statement";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kConnectionClosed);
  }
}

TEST_F(PostgresBackendTest, OneStatementPerText) {
  const ProviderError two = FailureOf([&] {
    backend_->Execute(
        "Insert Into CSYOKN(CMNT_UNIQUE_KEY) Values (1); Insert Into CSYOKN(CMNT_UNIQUE_KEY) "
        "Values (2)");
  });
  EXPECT_EQ(two.sqlstate, "42601");
  EXPECT_EQ(Scalar("Select Count(*) As CNT From CSYOKN"), Variant::Long(0));

  // The second statement hidden behind a quote that the text closes itself.
  FailureOf([&] {
    backend_->Execute(
        "Insert Into CSYOKN(CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values (1,'a');Delete From CBASE--')");
  });
  EXPECT_EQ(Scalar("Select Count(*) As CNT From CSYOKN"), Variant::Long(0));

  const ProviderError nul = FailureOf([&] {
    backend_->Execute(std::string("Insert Into CSYOKN(CMNT_UNIQUE_KEY) Values (1)") + '\0' +
                      "; Drop Table CBASE");
  });
  EXPECT_EQ(nul.sqlstate, "22021");
  EXPECT_EQ(Scalar("Select Count(*) As CNT From CSYOKN"), Variant::Long(0));
}

TEST_F(PostgresBackendTest, RejectedStatementCarriesSqlstateAndMessage) {
  const ProviderError missing =
      FailureOf([&] { backend_->Execute("Delete From NOSUCH Where A=1"); });
  EXPECT_EQ(missing.sqlstate, "42P01");
  EXPECT_EQ(missing.number, err::kProvider);
  EXPECT_EQ(missing.source, "PostgreSQL");
  EXPECT_NE(missing.description.find("nosuch"), std::string::npos) << missing.description;

  // An empty key leaves nothing after "=".
  EXPECT_EQ(
      FailureOf([&] { backend_->Execute("Delete From CGLASBS Where GLS_UNIQUE_KEY="); }).sqlstate,
      "42601");

  backend_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (5)");
  const ProviderError duplicate =
      FailureOf([&] { backend_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (5)"); });
  EXPECT_EQ(duplicate.sqlstate, "23505");
  EXPECT_NE(duplicate.description.find("(cubs_unique_key)=(5)"), std::string::npos)
      << duplicate.description;

  // A failed statement does not break the connection.
  EXPECT_TRUE(backend_->IsOpen());
  EXPECT_EQ(Scalar("Select Count(*) From CBASE"), Variant::Long(1));
}

TEST_F(PostgresBackendTest, SchemaAppliesAgainWithoutChange) {
  const std::string columns =
      "SELECT table_name, column_name, data_type, ordinal_position FROM information_schema.columns "
      "WHERE table_schema = current_schema() ORDER BY table_name, ordinal_position";
  const std::string indexes =
      "SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = current_schema() ORDER BY 1";
  const auto columns_before = Rows(columns);
  const auto indexes_before = Rows(indexes);
  auto connection = db_->Connect();
  ApplySchema(*connection, ReadSourceFile("schema/postgresql.sql"));
  EXPECT_EQ(Rows(columns), columns_before);
  EXPECT_EQ(Rows(indexes), indexes_before);
  EXPECT_EQ(indexes_before.size(), 13u);  // the CBASE key and twelve indexes

  EXPECT_EQ(backend_->PrimaryKey("CBASE"), std::vector<std::string>{"CUBS_UNIQUE_KEY"});
  EXPECT_EQ(backend_->PrimaryKey("cbase"), std::vector<std::string>{"CUBS_UNIQUE_KEY"});
  EXPECT_TRUE(backend_->PrimaryKey("CMENTE_T").empty());
  EXPECT_TRUE(backend_->PrimaryKey("NOSUCH").empty());
}

TEST_F(PostgresBackendTest, DateColumnsCompareWithQuotedDateTexts) {
  backend_->Execute(
      "Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_NEWBST_COMING) Values (1,'2009/12/31')");
  backend_->Execute(
      "Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_NEWBST_COMING) Values (2,'2010/01/01')");
  backend_->Execute(
      "Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_NEWBST_COMING) Values (3,'2016/07/04')");
  EXPECT_EQ(Rows("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_NEWBST_COMING < '20100101'"),
            (std::vector<std::vector<Variant>>{{Variant::Long(1)}}));
  EXPECT_EQ(Scalar("Select CUBS_NEWBST_COMING From CBASE Where CUBS_UNIQUE_KEY=3"),
            Variant::Date({2016, 7, 4, 0, 0, 0}));

  // A time column takes a date and time, or a date alone.
  backend_->Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_UNIQUE_KEY,MTRN_UPDATE) Values ( '1',1,'2016/07/04 "
      "13:05:09')");
  backend_->Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_UNIQUE_KEY,MTRN_UPDATE) Values ( "
      "'1',2,'2016/07/05')");
  EXPECT_EQ(Rows("Select MTRN_UPDATE From CMENTE_T Order By MTRN_UNIQUE_KEY"),
            (std::vector<std::vector<Variant>>{{Variant::Date({2016, 7, 4, 13, 5, 9})},
                                               {Variant::Date({2016, 7, 5, 0, 0, 0})}}));
}

TEST_F(PostgresBackendTest, WriterStatementFormsRunUnchanged) {
  // Bare numbers with blanks, decimals and exponents, the word Null, '0' into
  // the numeric flag, a bare month-day.
  backend_->Execute(
      "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_FAMILY_KEY,CUBS_FAMILY_CNT,"
      "CUBS_DATA_FLG,CUBS_SEX,CUBS_BIRTH_MD,CUBS_F_DEGREE_SUM,CUBS_N_DEGREE_SUM,CUBS_CYL_SUM,"
      "CUBS_KANA_MEI) Values ( '012', 1200 ,1200, 0,'0', 1 ,0305,-1.25,1E3,+2.5E-1,Null)");
  backend_->Execute(
      "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_FAMILY_KEY,CUBS_DATA_FLG) Values ( "
      "'012',1305,1200,'0')");
  backend_->Execute(
      "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_FAMILY_KEY,CUBS_DATA_FLG) Values ( "
      "'012',1306,1200,2)");
  EXPECT_EQ(
      Rows("Select CUBS_SEX, CUBS_BIRTH_MD, CUBS_F_DEGREE_SUM, CUBS_N_DEGREE_SUM, "
           "CUBS_CYL_SUM, CUBS_KANA_MEI, CUBS_DATA_FLG From CBASE Where CUBS_UNIQUE_KEY=1200"),
      (std::vector<std::vector<Variant>>{
          {Variant::Long(1), Variant::Long(305), Variant::Double(-1.25), Variant::Long(1000),
           Variant::Double(0.25), Variant::Null(), Variant::Long(0)}}));

  // Count(*) with an alias comes back under the server's spelling of it.
  auto cursor = backend_->Query("Select Count(*) As CNT From CBASE Where CUBS_UNIQUE_KEY=1200");
  EXPECT_EQ(cursor->columns(), std::vector<std::string>{"cnt"});
  std::vector<Variant> row;
  ASSERT_TRUE(cursor->Next(row));
  EXPECT_EQ(row, std::vector<Variant>{Variant::Long(1)});
  EXPECT_FALSE(cursor->Next(row));

  // Count(*) in a subquery, against '0' and <> 2 on the numeric flag.
  backend_->Execute(
      "Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where CUBS_FAMILY_KEY=1200 "
      "And CUBS_UNIQUE_KEY<>1200 And CUBS_DATA_FLG='0') Where CUBS_UNIQUE_KEY=1200");
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=1200"),
            Variant::Long(1));
  EXPECT_EQ(Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_DATA_FLG <> 2"), Variant::Long(2));
  backend_->Execute("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 1305");
  EXPECT_EQ(Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_DATA_FLG <> 2"), Variant::Long(1));
}

TEST_F(PostgresBackendTest, LiteralsAndBoundValuesRoundTrip) {
  const std::vector<std::string> texts = {
      "",           "O'Hara",     "''",   "back\\slash\\n", "\\'",     "tab\there",
      "line\nnext", "\r\n",       "顧客", "全角\u3000空白", "smile 😀", "-- not a comment",
      "a;b",        "\"quoted\"", "$1",   "$$dollar$$",
  };
  int key = 0;
  for (const std::string& text : texts) {
    std::string doubled;
    for (char c : text) doubled += (c == '\'') ? std::string("''") : std::string(1, c);
    ++key;
    backend_->Execute("Insert Into CSYOKN(CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values (" +
                      std::to_string(key) + ",'" + doubled + "')");
    EXPECT_EQ(
        Scalar("Select CMNT_COMMENT_1 From CSYOKN Where CMNT_UNIQUE_KEY=" + std::to_string(key)),
        Variant::String(text))
        << text;
    EXPECT_EQ(Scalar("Select $1::text", {Variant::String(text)}), Variant::String(text)) << text;
  }

  // Bound values of every kind, with their types left to the server.
  EXPECT_EQ(backend_->ExecuteBound(
                "Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_CYL_SUM,CUBS_DATA_FLG,CUBS_KANA_MEI,"
                "CUBS_NEWBST_COMING,CUBS_UPD_DATE,CUBS_BEST_LINK) Values ($1,$2,$3,$4,$5,$6,$7)",
                {Variant::Double(99.0), Variant::Double(0.1), Variant::Integer(2),
                 Variant::String("カナ"), Variant::Date({2009, 12, 31, 0, 0, 0}),
                 Variant::Date({2016, 7, 4, 13, 5, 9}), Variant::Null()}),
            1);
  EXPECT_EQ(Rows("Select CUBS_UNIQUE_KEY,CUBS_CYL_SUM,CUBS_DATA_FLG,CUBS_KANA_MEI,"
                 "CUBS_NEWBST_COMING,CUBS_UPD_DATE,CUBS_BEST_LINK From CBASE"),
            (std::vector<std::vector<Variant>>{
                {Variant::Long(99), Variant::Double(0.1), Variant::Long(2), Variant::String("カナ"),
                 Variant::Date({2009, 12, 31, 0, 0, 0}), Variant::Date({2016, 7, 4, 13, 5, 9}),
                 Variant::Null()}}));
  // Null-safe comparison, as the optimistic check writes it.
  const std::string matches = "Select Count(*) From CBASE Where " +
                              backend_->NullSafeEquals("CUBS_BEST_LINK", "$1") + " And " +
                              backend_->NullSafeEquals("CUBS_CYL_SUM", "$2") + " And " +
                              backend_->NullSafeEquals("CUBS_NEWBST_COMING", "$3");
  EXPECT_EQ(Scalar(matches,
                   {Variant::Null(), Variant::Double(0.1), Variant::Date({2009, 12, 31, 0, 0, 0})}),
            Variant::Long(1));
  EXPECT_EQ(Scalar(matches, {Variant::String("1"), Variant::Double(0.1),
                             Variant::Date({2009, 12, 31, 0, 0, 0})}),
            Variant::Long(0));
}

TEST_F(PostgresBackendTest, TransactionsCommitAndRollBack) {
  backend_->Begin();
  backend_->Execute("Insert Into CSYOKN(CMNT_UNIQUE_KEY) Values (1)");
  backend_->Rollback();
  EXPECT_EQ(Scalar("Select Count(*) From CSYOKN"), Variant::Long(0));
  backend_->Begin();
  backend_->Execute("Insert Into CSYOKN(CMNT_UNIQUE_KEY) Values (2)");
  backend_->Commit();
  EXPECT_EQ(Scalar("Select CMNT_UNIQUE_KEY From CSYOKN"), Variant::Long(2));
}

TEST_F(PostgresBackendTest, CommandTimeoutEndsALongStatement) {
  auto limited = Open(db_->connection_string(), 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FailureOf([&] { limited->Execute("Select pg_sleep(5)"); }).sqlstate, "57014");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(limited->IsOpen());
}

TEST_F(PostgresBackendTest, RefusedLoginNeverShowsThePassword) {
  const std::string wrong = "Wr0ng;Secret'Pw";
  auto backend = NewPostgresBackend();
  const ProviderError refused =
      FailureOf([&] { backend->Open(ParseConnectionString(WithPassword(wrong)), 0); });
  EXPECT_EQ(refused.sqlstate, "08001");
  EXPECT_EQ(refused.source, "PostgreSQL");
  EXPECT_NE(refused.description.find("password authentication failed"), std::string::npos)
      << refused.description;
  EXPECT_EQ(refused.description.find("Secret"), std::string::npos) << refused.description;
  EXPECT_EQ(refused.description.find(kServerPassword), std::string::npos);
  EXPECT_FALSE(backend->IsOpen());

  // Through a Connection: the Errors list holds the same, without the password.
  auto connection = Connection::Create();
  EXPECT_THROW(connection->Open(WithPassword(wrong)), Error);
  EXPECT_EQ(connection->State(), kStateClosed);
  ASSERT_FALSE(connection->errors().list().empty());
  for (const ProviderError& e : connection->errors().list()) {
    EXPECT_EQ(e.description.find("Secret"), std::string::npos) << e.description;
  }

  // A port where nothing listens fails at once instead of waiting.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FailureOf([&] {
              backend->Open(ParseConnectionString("Provider=PostgreSQL;Host=127.0.0.1;Port=1;"
                                                  "Database=x;User ID=x;Password=\"" +
                                                  wrong + "\""),
                            0);
            }).sqlstate,
            "08001");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(12));
}

TEST_F(PostgresBackendTest, ServerEndingTheSessionIsAClearError) {
  const Variant pid = Scalar("Select pg_backend_pid()");
  backend_->Begin();
  backend_->Execute("Insert Into CSYOKN(CMNT_UNIQUE_KEY) Values (1)");

  auto other = Open(db_->connection_string());
  auto cursor = other->QueryBound("Select pg_terminate_backend($1)", {pid});
  std::vector<Variant> row;
  ASSERT_TRUE(cursor->Next(row));
  ASSERT_EQ(row[0], Variant::Boolean(true));

  const auto start = std::chrono::steady_clock::now();
  const ProviderError lost =
      FailureOf([&] { backend_->Execute("Insert Into CSYOKN(CMNT_UNIQUE_KEY) Values (2)"); });
  EXPECT_TRUE(lost.sqlstate == "57P01" || lost.sqlstate == "08006") << lost.sqlstate;
  EXPECT_NE(lost.description.find("onnection"), std::string::npos) << lost.description;
  EXPECT_FALSE(backend_->IsOpen());
  // Later calls fail at once with the same kind of error.
  EXPECT_EQ(FailureOf([&] { backend_->Rollback(); }).sqlstate, "08006");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // Nothing of the broken transaction was kept; a new connection works.
  auto again = Open(db_->connection_string());
  auto count = again->Query("Select Count(*) From CSYOKN");
  ASSERT_TRUE(count->Next(row));
  EXPECT_EQ(row[0], Variant::Long(0));
}

}  // namespace
}  // namespace kvt710::db
