// The customer master writers run on each database: every column of the
// written rows read back, a customer written again, a deleted customer
// revived, family counts made by the database.
#include <algorithm>
#include <cctype>

#include "platform/clock.h"
#include "tests/master/customer_fixture.h"

namespace kvt710 {
namespace {

using master_testing::Bench;
using master_testing::FixedNow;
using master_testing::FullCustomer;
using master_testing::FullMente;
using master_testing::LiteralsOf;
using master_testing::MinimalCustomer;
using testing_support::Backend;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// What a literal of an INSERT reads back as: quotes removed, Null as NULL.
std::map<std::string, std::string> StoredValues(const std::string& insert) {
  std::map<std::string, std::string> values;
  for (auto [column, literal] : LiteralsOf(insert)) {
    if (literal == "Null") {
      literal = "NULL";
    } else if (literal.size() >= 2 && literal.front() == '\'') {
      std::string inner;
      for (size_t i = 1; i + 1 < literal.size(); ++i) {
        inner += literal[i];
        if (literal[i] == '\'') ++i;
      }
      literal = inner;
    }
    values[column] = literal;
  }
  return values;
}

// Every column of the one row that `query` selects, by upper-case name.
std::map<std::string, std::string> ReadRow(db::Connection& connection, const std::string& query) {
  auto rs = connection.OpenRecordset(query, db::CursorType::kStatic, db::LockType::kReadOnly);
  std::map<std::string, std::string> row;
  if (rs->Eof()) return row;
  for (const std::string& name : rs->FieldNames()) {
    Variant value = rs->Field(name);
    row[Upper(name)] = value.IsNull() ? "NULL" : value.ToString();
  }
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof()) << "more than one row: " << query;
  return row;
}

class MasterWriters : public ::testing::TestWithParam<Backend> {
 protected:
  std::map<std::string, std::string> Customer(const std::string& key) {
    return ReadRow(*bench_.caller, "Select * From CBASE Where CUBS_UNIQUE_KEY=" + key);
  }
  std::string Scalar(const std::string& query) { return bench_.database.Scalar(query); }

  ScopedClock clock_{FixedNow};
  Bench bench_{GetParam()};
};

TEST_P(MasterWriters, EveryColumnStoredThenTheCustomerWrittenAgain) {
  ASSERT_EQ(bench_.batch->SetBaseData(FullCustomer()), 0);
  ASSERT_EQ(bench_.batch->SetMENTEData(FullMente()), 0);
  ASSERT_EQ(bench_.batch->Execute("1203"), 0);

  std::map<std::string, std::string> expected = StoredValues(master_testing::FullCustomerInsert());
  expected["CUBS_BIRTH_MD"] = "305";      // 0305 is a number
  expected["CUBS_N_DEGREE_SUM"] = "0.5";  // written bare with its blanks
  ASSERT_EQ(expected.size(), 148u);
  EXPECT_EQ(Customer("1203"), expected);

  std::map<std::string, std::string> mente = StoredValues(master_testing::FullMenteInsert());
  ASSERT_EQ(mente.size(), 16u);
  EXPECT_EQ(ReadRow(*bench_.caller, "Select * From CMENTE_T"), mente);

  // Written again with changes: the master row and the maintenance row are
  // updated in place; a maintenance state left empty keeps the stored one.
  ScopedClock later([] { return DateTime{2017, 1, 2, 3, 4, 5}; });
  bench_.batch->Initialize();
  BaseDataParams p = FullCustomer();
  p.KanaNm = "ﾔﾏﾀﾞ ﾊﾅｺ";
  p.FamilyKbn = "1";
  p.HomeTel = "045-987-6543";
  p.BuyFlg->At(2) = Variant::String("1");
  p.HochoMoney = "";
  p.TranseFlg = 0;
  ASSERT_EQ(bench_.batch->SetBaseData(p), 0);
  MenteDataParams m = FullMente();
  m.KanaMei = "Hanako";
  m.ZyotaiKbn = "";
  m.MotoStore = "";
  ASSERT_EQ(bench_.batch->SetMENTEData(m), 0);
  ASSERT_EQ(bench_.batch->Queue()->Item(1).rfind("Update CBASE Set ", 0), 0u);
  ASSERT_EQ(bench_.batch->Queue()->Item(2).rfind("Update CMENTE_T Set ", 0), 0u);
  ASSERT_EQ(bench_.batch->Execute("1203"), 0);

  EXPECT_EQ(Scalar("Select Count(*) As CNT From CBASE"), "1");
  EXPECT_EQ(Scalar("Select Count(*) As CNT From CMENTE_T"), "1");
  expected["CUBS_KANA_MEI"] = "ﾔﾏﾀﾞ ﾊﾅｺ";
  expected["CUBS_FAMILY_KBN"] = "1";
  expected["CUBS_FAMILY_KEY"] = "1203";
  expected["CUBS_HOME_TEL"] = "045-987-6543";
  expected["CUBS_TELKEY"] = "6543";
  expected["CUBS_BUY2_FLG"] = "1";
  expected["CUBS_HO_AMT_SUM"] = "NULL";
  expected["CUBS_TRANSE_FLG"] = "0";
  expected["CUBS_UPD_DATE"] = "2017/01/02 03:04:05";
  EXPECT_EQ(Customer("1203"), expected);
  mente["MTRN_KANA_MEI"] = "Hanako";
  mente["MTRN_UPDATE"] = "2017/01/02 03:04:05";
  EXPECT_EQ(ReadRow(*bench_.caller, "Select * From CMENTE_T"), mente)
      << "MTRN_ZYOTAI_KBN and MTRN_MOTO_STORE keep their stored values";
}

TEST_P(MasterWriters, DeletedCustomerWrittenAgainIsLiveAgain) {
  ASSERT_EQ(bench_.batch->SetBaseData(MinimalCustomer()), 0);
  ASSERT_EQ(bench_.batch->Execute("1203"), 0);
  bench_.batch->Initialize();
  ASSERT_EQ(bench_.batch->DelExecute("1203"), 0);
  EXPECT_EQ(Scalar("Select CUBS_DATA_FLG From CBASE"), "2");

  // The existence check counts the deleted row: an UPDATE, unless SyoriKBN is 0.
  ASSERT_EQ(bench_.batch->SetBaseData(MinimalCustomer()), 0);
  EXPECT_EQ(bench_.batch->Queue()->Item(1).rfind("Update CBASE Set ", 0), 0u);
  ASSERT_EQ(bench_.batch->Execute("1203"), 0);
  EXPECT_EQ(Scalar("Select CUBS_DATA_FLG From CBASE Where CUBS_UNIQUE_KEY=1203"), "0");
  EXPECT_EQ(Scalar("Select Count(*) As CNT From CBASE"), "1");

  bench_.batch->Initialize();
  bench_.batch->SetSyoriKBN(0);
  ASSERT_EQ(bench_.batch->SetBaseData(MinimalCustomer()), 0);
  EXPECT_EQ(bench_.batch->Queue()->Item(1).rfind("Insert Into CBASE(", 0), 0u);
  EXPECT_THROW(bench_.batch->Execute("1203"), Error) << "the key is taken";
}

TEST_P(MasterWriters, FamilyCountsLiveMembersWhenTheQueueRuns) {
  auto member = [](const char* key, const char* representative) {
    BaseDataParams p = MinimalCustomer(key);
    p.FamilyKbn = "2";
    p.FamilyKey = representative;
    return p;
  };
  BaseDataParams representative = MinimalCustomer("1100");
  representative.FamilyCnt = "9";
  ASSERT_EQ(bench_.batch->SetBaseData(representative), 0);
  for (const char* key : {"1201", "1202", "1203"})
    ASSERT_EQ(bench_.batch->SetBaseData(member(key, "1100")), 0);
  ASSERT_EQ(bench_.batch->SetBaseData(MinimalCustomer("1300")), 0);
  ASSERT_EQ(bench_.batch->Execute("1100"), 0);
  bench_.batch->Initialize();
  ASSERT_EQ(bench_.batch->DelExecute("1203"), 0);

  // A member queued before the count is counted; nothing changes before Execute.
  bench_.batch->Initialize();
  ASSERT_EQ(bench_.batch->SetBaseData(member("1204", "1100")), 0);
  ASSERT_EQ(bench_.batch->FamilyCnt_Update("1100"), 0);
  ASSERT_EQ(bench_.batch->FamilyCnt_Update("1300"), 0);
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=1100"), "9");
  ASSERT_EQ(bench_.batch->Execute("1100"), 0);
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=1100"), "3");
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=1300"), "0");

  // 1300 joins the family of 1100.
  bench_.batch->Initialize();
  ASSERT_EQ(bench_.batch->FamilyUpdate("1100", " 1300 "), 0);
  ASSERT_EQ(bench_.batch->Execute("1100"), 0);
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_KEY From CBASE Where CUBS_UNIQUE_KEY=1300"), "1100");
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=1100"), "4");
}

INSTANTIATE_TEST_SUITE_P(Backends, MasterWriters,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
