// The updatable recordset on SQLite: paging through many rows by key,
// saving changes, and the optimistic refusal of a row changed meanwhile.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::TestDatabase;

constexpr const char* kSelection =
    "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
    "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2";

class UpdatableRecordsetTest : public ::testing::Test {
 protected:
  void AddCustomers(int from, int to) {
    cn_->BeginTrans();
    for (int key = from; key <= to; ++key) {
      // Every third name is Null: the optimistic check must match Null too.
      const std::string kana = key % 3 == 0 ? "Null" : "'カナ" + std::to_string(key) + "'";
      cn_->Execute(
          "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_KANA_MEI,CUBS_DATA_FLG,"
          "CUBS_NEWBST_COMING,CUBS_UPD_DATE) Values ( '012'," +
          std::to_string(key) + "," + kana + ",'0','2009/12/31','2001/02/03 04:05:06')");
    }
    cn_->CommitTrans();
  }

  TestDatabase db_{testing_support::Backend::kSQLite};
  std::shared_ptr<Connection> cn_ = db_.Connect();
};

TEST_F(UpdatableRecordsetTest, MarksEveryRowOfAManyPageSweep) {
  TempDir dir;
  const auto trace = dir / "trace.jsonl";
  AddCustomers(1, 2003);
  cn_->Execute("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 1000");
  const DateTime now{2024, 5, 6, 7, 8, 9};

  ScopedEnv tracing("KVT710_TRACE_SQL", trace.string());
  auto rs = cn_->OpenRecordset(std::string(kSelection) + " AND CUBS_NEWBST_COMING < '20100101'",
                               CursorType::kDynamic, LockType::kOptimistic);
  ASSERT_FALSE(rs->Bof());
  cn_->BeginTrans();
  std::set<int> seen;
  for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
    const int key = rs->Field("cubs_unique_key").ToLong();
    EXPECT_TRUE(seen.insert(key).second) << "visited twice: " << key;
    EXPECT_EQ(rs->Field("CUBS_DATA_FLG"), Variant::Long(0));
    rs->SetField("CUBS_DATA_FLG", Variant::Integer(2));
    rs->SetField("CUBS_UPD_DATE", Variant::Date(now));
    EXPECT_EQ(rs->Field("CUBS_DATA_FLG"), Variant::Integer(2));
    rs->Update();
  }
  cn_->CommitTrans();
  rs->Close();

  EXPECT_EQ(seen.size(), 2002u);
  EXPECT_EQ(seen.count(1000), 0u);
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_DATA_FLG = 2"), "2003");
  EXPECT_EQ(db_.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_UPD_DATE = '2024/05/06 07:08:09'"),
            "2002");

  // The rows came in pages of 500 by key, never all at once.
  std::ifstream in(trace);
  std::string line;
  int pages = 0, updates = 0;
  while (std::getline(in, line)) {
    if (line.find("LIMIT 500") != std::string::npos) ++pages;
    if (line.rfind("{\"sql\":\"UPDATE CBASE SET", 0) == 0) ++updates;
    EXPECT_NE(line.find("\"ok\":true"), std::string::npos) << line;
  }
  EXPECT_EQ(pages, 5);
  EXPECT_EQ(updates, 2002);

  auto again = cn_->OpenRecordset(kSelection, CursorType::kDynamic, LockType::kOptimistic);
  EXPECT_TRUE(again->Bof());
  EXPECT_TRUE(again->Eof());
}

TEST_F(UpdatableRecordsetTest, RefusesARowChangedMeanwhile) {
  AddCustomers(1, 3);
  auto rs = cn_->OpenRecordset(kSelection, CursorType::kDynamic, LockType::kOptimistic);
  ASSERT_EQ(rs->Field("CUBS_UNIQUE_KEY"), Variant::Long(1));

  // Row 2 is read with its page; another connection changes it afterwards.
  db_.Connect()->Execute("Update CBASE Set CUBS_KANA_MEI='ホカ' Where CUBS_UNIQUE_KEY=2");
  rs->SetField("CUBS_DATA_FLG", Variant::Integer(2));
  rs->Update();
  rs->MoveNext();
  EXPECT_EQ(rs->Field("CUBS_KANA_MEI"), Variant::String("カナ2"));  // as read
  rs->SetField("CUBS_DATA_FLG", Variant::Integer(2));
  try {
    rs->Update();
    FAIL() << "the changed row was overwritten";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrRowChanged);
    EXPECT_NE(e.description().find("changed by another user"), std::string::npos);
  }
  ASSERT_FALSE(cn_->errors().list().empty());
  EXPECT_EQ(cn_->errors().list().back().number, kErrRowChanged);
  EXPECT_EQ(db_.Column("SELECT CUBS_DATA_FLG FROM CBASE ORDER BY CUBS_UNIQUE_KEY"),
            (std::vector<std::string>{"2", "0", "0"}));
  EXPECT_EQ(db_.Scalar("SELECT CUBS_KANA_MEI FROM CBASE WHERE CUBS_UNIQUE_KEY=2"), "ホカ");
}

TEST_F(UpdatableRecordsetTest, RefusesQueriesItCannotPage) {
  AddCustomers(1, 1);
  for (const char* sql :
       {"SELECT * FROM CBASE", "SELECT Count(*) FROM CBASE",
        "SELECT A.CUBS_UNIQUE_KEY FROM CBASE A, CMENTE_T B",
        "SELECT MTRN_KBN FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = 1", "UPDATE CBASE SET X = 1"}) {
    try {
      cn_->OpenRecordset(sql, CursorType::kDynamic, LockType::kOptimistic);
      ADD_FAILURE() << "accepted: " << sql;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrNotAllowed) << sql;
    }
  }
  EXPECT_EQ(cn_->errors().list().size(), 5u);
  // A condition the database rejects fails the open with the database's error.
  EXPECT_THROW(cn_->OpenRecordset("SELECT CUBS_DATA_FLG FROM CBASE WHERE NO_SUCH_COLUMN = 1",
                                  CursorType::kDynamic, LockType::kOptimistic),
               Error);
  EXPECT_THROW(cn_->OpenRecordset("SELECT CUBS_DATA_FLG FROM NO_SUCH_TABLE", CursorType::kDynamic,
                                  LockType::kOptimistic),
               Error);
}

}  // namespace
}  // namespace kvt710::db
