// The writers on each database: every statement of a whole customer lands
// and reads back column by column; the customer written again, deleted, and
// its family counted; the field-list executor's statements through its
// late binding.
#include <cctype>

#include "fieldlist/KVT710C1.h"
#include "platform/automation/registry.h"
#include "platform/clock.h"
#include "tests/batch/writer_fixture.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using namespace writer_testing;

// What a literal reads back as: quotes removed, Null as NULL, a bare number
// without blanks or leading zeros.
std::string Stored(std::string literal) {
  if (literal == "Null") return "NULL";
  std::string inner;
  if (literal.front() == '\'') {
    for (size_t i = 1; i + 1 < literal.size(); ++i) {
      inner += literal[i];
      if (literal[i] == '\'') ++i;
    }
    return inner;
  }
  literal.erase(std::remove(literal.begin(), literal.end(), ' '), literal.end());
  while (literal.size() > 1 && literal[0] == '0' && std::isdigit(literal[1])) literal.erase(0, 1);
  return literal;
}

class Writers : public ::testing::TestWithParam<Backend> {
 protected:
  std::string Scalar(const std::string& query) { return bench_.database.Scalar(query); }

  ScopedClock clock_{FixedNow};
  Bench bench_{GetParam()};
  KVT710C3& b_ = *bench_.batch;
};

TEST_P(Writers, WholeCustomerLandsThenIsWrittenAgainAndDeleted) {
  BaseDataParams representative = With(MinimalCustomer(), &BaseDataParams::UniqueKey, "1100");
  representative.FamilyCnt = "9";
  ASSERT_EQ(b_.SetBaseData(FullCustomer()), 0);
  ASSERT_EQ(b_.SetBaseData(representative), 0);
  ASSERT_EQ(b_.SetMENTEData(FullMente()), 0);
  ASSERT_EQ(b_.SetG_BaseData(GlassesHeader()), 0);
  ASSERT_EQ(b_.SetG_DTLData(GlassesDetail()), 0);
  ASSERT_EQ(b_.SetC_BaseData(ContactHeader()), 0);
  ASSERT_EQ(b_.SetC_DTLData(ContactDetail()), 0);
  ASSERT_EQ(b_.SetH_BaseData(HearingHeader()), 0);
  ASSERT_EQ(b_.SetH_DTLData(HearingDetail()), 0);
  ASSERT_EQ(b_.SetUriageData(SalesLine()), 0);
  ASSERT_EQ(b_.SetSYOKANData({"001", "1203", "it's", ""}), 0);
  ASSERT_EQ(b_.Execute("1203"), 0);
  for (const std::string& insert : b_.Queue()->items()) {
    if (insert.rfind("Insert Into ", 0) != 0) continue;
    auto literals = LiteralsOf(insert);
    std::string table = insert.substr(12, insert.find('(') - 12);
    if (table == "CBASE") table += " Where CUBS_UNIQUE_KEY=" + literals["CUBS_UNIQUE_KEY"];
    auto rs = bench_.caller->OpenRecordset("Select * From " + table, db::CursorType::kStatic,
                                           db::LockType::kReadOnly);
    ASSERT_FALSE(rs->Eof()) << table;
    std::map<std::string, std::string> row;
    for (std::string name : rs->FieldNames()) {
      const Variant value = rs->Field(name);
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      row[name] = value.IsNull() ? "NULL" : value.ToString();
    }
    for (const auto& [column, literal] : literals)
      EXPECT_EQ(row[column], Stored(literal)) << table << "." << column;
  }

  // Written again: the master and maintenance rows are updated in place, and
  // a deleted customer written again is live again.
  b_.Initialize();
  ASSERT_EQ(b_.DelExecute("1203"), 0);
  EXPECT_EQ(Scalar("Select CUBS_DATA_FLG From CBASE Where CUBS_UNIQUE_KEY=1203"), "2");
  BaseDataParams p = FullCustomer();
  p.KanaNm = "ﾔﾏﾀﾞ ﾊﾅｺ";
  ASSERT_EQ(b_.SetBaseData(p), 0);
  ASSERT_EQ(b_.SetMENTEData(FullMente()), 0);
  ASSERT_EQ(b_.FamilyCnt_Update("1100"), 0);
  ASSERT_EQ(b_.Execute("1203"), 0);
  EXPECT_EQ(Scalar("Select CUBS_KANA_MEI From CBASE Where CUBS_UNIQUE_KEY=1203"), "ﾔﾏﾀﾞ ﾊﾅｺ");
  EXPECT_EQ(Scalar("Select CUBS_DATA_FLG From CBASE Where CUBS_UNIQUE_KEY=1203"), "0");
  EXPECT_EQ(Scalar("Select Count(*) As CNT From CMENTE_T"), "1");
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=1100"), "1");
  b_.Initialize();
  ASSERT_EQ(b_.FamilyUpdate("1203", "1100"), 0);
  ASSERT_EQ(b_.Execute("1203"), 0);
  EXPECT_EQ(Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=1203"), "1");
}

TEST_P(Writers, FieldListExecutorThroughItsLateBinding) {
  auto executor = CreateObject("KVT710.KVT710C1");
  auto connection = CreateObject("ADODB.Connection");
  connection->Put("ConnectionString", Variant::String(bench_.database.connection_string()));
  auto run = [&](int32_t mode, const std::vector<std::pair<const char*, const char*>>& pairs) {
    executor->PutRef("ObjConnect", Variant::Object(connection));
    executor->Put("CliantNo", Variant::Long(12345));
    executor->Put("ExMode", Variant::Long(mode));
    executor->Put("FldCount", Variant::Long(static_cast<int32_t>(pairs.size())));
    executor->Call("subParaRedim");
    for (size_t i = 0; i < pairs.size(); ++i) {
      executor->Put("FldIndex", Variant::Long(static_cast<int32_t>(i + 1)));
      executor->Put("propFields", Variant::String(pairs[i].first));
      executor->Put("propValue", Variant::String(pairs[i].second));
    }
    return executor->Call("funcExeSqlCbase") == Variant::Boolean(true);
  };
  const std::string row = "SELECT CUBS_KANA_MEI, CUBS_SEX FROM CBASE WHERE CUBS_UNIQUE_KEY = 12345";
  auto stored = [&] { return testing_support::Rows(*bench_.caller, row); };
  connection->Call("Open");
  ASSERT_TRUE(run(1, {{"CUBS_KANA_MEI", "'ﾀﾅｶ'"}, {"CUBS_SEX", "1"}, {"CUBS_FAMILY_CNT", "3"}}));
  EXPECT_EQ(stored(), std::vector<std::string>{"ﾀﾅｶ|1"});
  ASSERT_TRUE(run(2, {{"CUBS_KANA_MEI", "'O''Hara'"}, {"cubs_sex", "Null"}}));
  EXPECT_EQ(stored(), std::vector<std::string>{"O'Hara|NULL"});
  executor->PutRef("ObjConnect", Variant::Object(connection));
  executor->Put("propUDCnt", Variant::Long(-1));
  EXPECT_EQ(executor->Call("funcFamilyCntUD"), Variant::Boolean(true));
  EXPECT_EQ(Scalar("SELECT CUBS_FAMILY_CNT FROM CBASE"), "2");

  // The same key again: the database refuses, the run reports and closes the connection.
  std::vector<Report> reports;
  auto listening = ListenForReports([&](const Report& r) { reports.push_back(r); });
  EXPECT_FALSE(run(1, {{"CUBS_SEX", "2"}}));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].source, "KVT710.funcExeSqlCbaseProc");
  EXPECT_EQ(reports[0].errors.size(), 1u);
  EXPECT_EQ(std::dynamic_pointer_cast<db::Connection>(connection)->State(), db::kStateClosed);
  connection->Call("Open");
  ASSERT_TRUE(run(3, {{"NOT_A_COLUMN", "not a literal"}}));
  EXPECT_TRUE(stored().empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, Writers, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
