// Connections and recordsets on PostgreSQL (KVT710_TEST_PG), as the batch
// object and the deletion service use them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using testing_support::TestDatabase;

class PostgresRecordsetTest : public ::testing::Test {
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
    db_ = std::make_unique<TestDatabase>(testing_support::Backend::kPostgreSQL);
    cn_ = db_->Connect();
    cn_->set_command_timeout(0);
  }

  void AddCustomer(int key, const std::string& newest_visit, const std::string& flag,
                   const std::string& kana = "'カナ'") {
    cn_->Execute(
        "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_KANA_MEI,CUBS_DATA_FLG,"
        "CUBS_NEWBST_COMING,CUBS_UPD_DATE,CUBS_CYL_SUM) Values ( '012'," +
        std::to_string(key) + "," + kana + "," + flag + ",'" + newest_visit +
        "','2001/02/03 04:05:06',-1.25)");
  }

  std::unique_ptr<TestDatabase> db_;
  std::shared_ptr<Connection> cn_;
};

constexpr const char* kSelection =
    "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
    "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2";

TEST_F(PostgresRecordsetTest, StaticRecordsetReadsCountsAndRows) {
  AddCustomer(1200, "2009/12/31", "'0'");
  auto count = cn_->OpenRecordset("Select Count(*) As CNT From CBASE Where CUBS_UNIQUE_KEY=1200",
                                  CursorType::kStatic, LockType::kReadOnly);
  EXPECT_EQ(count->Field("CNT"), Variant::Long(1));
  EXPECT_EQ(count->Field("cnt"), Variant::Long(1));
  EXPECT_THROW(count->SetField("CNT", Variant::Long(2)), Error);

  auto none = cn_->OpenRecordset(
      " SELECT MTRN_STORE_NO, MTRN_HT_KBN FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = 1200",
      CursorType::kStatic, LockType::kReadOnly);
  EXPECT_TRUE(none->Bof());
  EXPECT_TRUE(none->Eof());

  auto row = cn_->OpenRecordset(kSelection, CursorType::kStatic, LockType::kReadOnly);
  ASSERT_FALSE(row->Eof());
  EXPECT_EQ(row->Field("CUBS_UNIQUE_KEY").ToDouble(), 1200.0);
  EXPECT_EQ(row->Field("Cubs_Store_No"), Variant::String("012"));
  EXPECT_EQ(row->Field("CUBS_NEWBST_COMING"), Variant::Date({2009, 12, 31, 0, 0, 0}));
  EXPECT_EQ(row->Field("CUBS_UPD_DATE"), Variant::Date({2001, 2, 3, 4, 5, 6}));
  EXPECT_EQ(row->Field("CUBS_DATA_FLG"), Variant::Long(0));
}

TEST_F(PostgresRecordsetTest, DynamicRecordsetMarksRowsInOneTransaction) {
  AddCustomer(1, "2009/12/31", "'0'");
  AddCustomer(2, "2009/06/30", "'0'");
  AddCustomer(3, "2010/01/01", "'0'");
  AddCustomer(4, "2008/01/01", "2");
  const DateTime now{2024, 5, 6, 7, 8, 9};

  auto rs = cn_->OpenRecordset(std::string(kSelection) + " AND CUBS_NEWBST_COMING < '20100101'",
                               CursorType::kDynamic, LockType::kOptimistic);
  cn_->BeginTrans();
  std::vector<double> marked;
  for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
    marked.push_back(rs->Field("CUBS_UNIQUE_KEY").ToDouble());
    rs->SetField("CUBS_DATA_FLG", Variant::Integer(2));
    rs->SetField("CUBS_UPD_DATE", Variant::Date(now));
    rs->Update();
  }
  cn_->CommitTrans();
  rs->Close();

  EXPECT_EQ(marked, (std::vector<double>{1, 2}));
  EXPECT_EQ(db_->Column("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_DATA_FLG = 2 ORDER BY 1"),
            (std::vector<std::string>{"1", "2", "4"}));
  EXPECT_EQ(db_->Scalar("SELECT to_char(CUBS_UPD_DATE, 'YYYY/MM/DD HH24:MI:SS') FROM CBASE "
                        "WHERE CUBS_UNIQUE_KEY = 2"),
            "2024/05/06 07:08:09");
}

TEST_F(PostgresRecordsetTest, UpdateRefusesARowChangedMeanwhile) {
  AddCustomer(1, "2009/12/31", "'0'");
  auto rs = cn_->OpenRecordset(std::string(kSelection) + " AND CUBS_UNIQUE_KEY = 1",
                               CursorType::kDynamic, LockType::kOptimistic);
  ASSERT_FALSE(rs->Eof());

  auto other = db_->Connect();
  other->Execute("Update CBASE Set CUBS_KANA_MEI='ホカ' Where CUBS_UNIQUE_KEY=1");

  rs->SetField("CUBS_DATA_FLG", Variant::Integer(2));
  EXPECT_THROW(rs->Update(), Error);
  EXPECT_EQ(db_->Scalar("SELECT CUBS_DATA_FLG FROM CBASE WHERE CUBS_UNIQUE_KEY = 1"), "0");
  EXPECT_FALSE(cn_->errors().list().empty());
}

TEST_F(PostgresRecordsetTest, RejectedStatementFillsErrors) {
  try {
    cn_->Execute("Delete From CGLASBS Where GLS_UNIQUE_KEY=");
    FAIL() << "the statement was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kProvider);
    EXPECT_FALSE(e.description().empty());
  }
  ASSERT_EQ(cn_->errors().list().size(), 1u);
  const ProviderError& error = cn_->errors().list()[0];
  EXPECT_EQ(error.sqlstate, "42601");
  EXPECT_EQ(error.source, "PostgreSQL");
  EXPECT_NE(error.description.find("syntax error"), std::string::npos) << error.description;
  EXPECT_EQ(cn_->State(), kStateOpen);
}

TEST_F(PostgresRecordsetTest, TerminatedSessionClosesTheConnection) {
  auto pid =
      cn_->OpenRecordset("Select pg_backend_pid() As PID", CursorType::kStatic, LockType::kReadOnly)
          ->Field("PID");
  cn_->BeginTrans();
  AddCustomer(1, "2009/12/31", "'0'");
  db_->Connect()->Execute("Select pg_terminate_backend(" + pid.ToString() + ")");

  EXPECT_THROW(AddCustomer(2, "2009/12/31", "'0'"), Error);
  EXPECT_EQ(cn_->State(), kStateClosed);
  ASSERT_FALSE(cn_->errors().list().empty());
  EXPECT_NE(cn_->errors().list().back().description.find("onnection"), std::string::npos);
  EXPECT_EQ(db_->Scalar("SELECT Count(*) FROM CBASE"), "0");
}

}  // namespace
}  // namespace kvt710::db
