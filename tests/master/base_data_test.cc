// SetBaseData: the CBASE statements, the computed columns, the arrays
// rendered in place and the failures that queue nothing.
#include "platform/clock.h"
#include "tests/master/customer_fixture.h"

namespace kvt710 {
namespace {

using master_testing::Bench;
using master_testing::FixedNow;
using master_testing::FullCustomer;
using master_testing::LiteralsOf;
using master_testing::ReportLog;
using master_testing::Sixteen;
using testing_support::Backend;

BaseDataParams Minimal() {
  return master_testing::MinimalCustomer();
}

class BaseData : public ::testing::Test {
 protected:
  // The column -> literal map of the INSERT that `p` queues on its own.
  std::map<std::string, std::string> Written(const BaseDataParams& p) {
    bench_.batch->Initialize();
    EXPECT_EQ(bench_.batch->SetBaseData(p), 0);
    if (!bench_.batch->Queue() || bench_.batch->Queue()->Count() != 1) return {};
    return LiteralsOf(bench_.batch->Queue()->Item(1));
  }

  ScopedClock clock_{FixedNow};
  Bench bench_{Backend::kSQLite};
};

TEST_F(BaseData, FullRowInsertThenUpdateThenInsertWithSyoriKbnZero) {
  BaseDataParams p = FullCustomer();
  EXPECT_EQ(bench_.batch->SetBaseData(p), 0);
  bench_.caller->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (1203)");
  EXPECT_EQ(bench_.batch->SetBaseData(FullCustomer()), 0);
  bench_.batch->SetSyoriKBN(0);
  EXPECT_EQ(bench_.batch->SetBaseData(FullCustomer()), 0);
  ASSERT_EQ(bench_.batch->Queue()->Count(), 3) << bench_.Queued();
  EXPECT_EQ(bench_.batch->Queue()->Item(1), master_testing::FullCustomerInsert());
  EXPECT_EQ(bench_.batch->Queue()->Item(2), master_testing::FullCustomerUpdate());
  EXPECT_EQ(bench_.batch->Queue()->Item(3), master_testing::FullCustomerInsert());

  // The caller's arrays now hold what was written.
  EXPECT_EQ(p.BuyFlg->At(1), Variant::String("'1'"));
  EXPECT_EQ(p.BuyFlg->At(2), Variant::String("Null"));
  EXPECT_EQ(p.BuyFlg->At(16), Variant::String("'x''y'"));
  EXPECT_EQ(p.C_FREE->At(3), Variant::String("13"));
  EXPECT_EQ(p.C_Free17->At(2), Variant::String("'a 2'"));
  EXPECT_EQ(p.EventFlg->At(1), Variant::String("Null"));
}

TEST_F(BaseData, TelephoneKey) {
  struct Case {
    const char* home_tel;
    const char* telkey;
    const char* home_column;
  };
  const Case cases[] = {
      {"03-1234-5678", "'5678'", "'03-1234-5678'"},
      {"  03-1234-5678  ", "'5678'", "'  03-1234-5678  '"},
      {"1-234", "Null", "'1-234'"},  // the piece -234 is negative
      {"123", "Null", "'123'"},      // three characters
      {"1234", "'1234'", "'1234'"},  // the whole text
      {"03-1234-56AB", "Null", "'03-1234-56AB'"},
      {"番号1234", "'1234'", "'番号1234'"},  // characters, not bytes
      {"電話番号", "Null", "'電話番号'"},
      {"12E3", "'12E3'", "'12E3'"},    // numeric, 12000 fits
      {"1-0.4", "'-0.4'", "'1-0.4'"},  // rounds to 0: not negative
      {"   ", "Null", "Null"},
      {"", "Null", "Null"},
      {"0'12'34", "Null", "'0''12''34'"},
  };
  for (const Case& c : cases) {
    BaseDataParams p = Minimal();
    p.HomeTel = c.home_tel;
    auto written = Written(p);
    EXPECT_EQ(written["CUBS_TELKEY"], c.telkey) << "HomeTel '" << c.home_tel << "'";
    EXPECT_EQ(written["CUBS_HOME_TEL"], c.home_column) << "HomeTel '" << c.home_tel << "'";
  }

  // A numeric piece beyond 32 bits is an error, raised before any array is touched.
  BaseDataParams p = Minimal();
  p.HomeTel = "03-9E99";
  p.BuyFlg = Sixteen(std::vector<std::string>(16, "1"));
  ReportLog log;
  bench_.batch->Initialize();
  EXPECT_EQ(bench_.batch->SetBaseData(p), -1);
  EXPECT_EQ(bench_.batch->Queue()->Count(), 0);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].source, "KVT710C3.SetBaseData");
  EXPECT_EQ(p.BuyFlg->At(1), Variant::String("1"));
}

TEST_F(BaseData, FamilyPair) {
  struct Case {
    const char* kbn;
    const char* family_key;
    const char* written_key;
    const char* written_kbn;
  };
  const Case cases[] = {
      {" 2 ", " 1100 ", " 1100 ", "'2'"},  // a member keeps its family key as passed
      {"2", "1100", "1100", "'2'"},
      {"1", "1100", "1203", "'1'"},  // a representative carries its own key
      {"3", "1100", "1203", "'1'"},
      {"", "not a key", "1203", "'1'"},
      {"２", "1100", "1203", "'1'"},
  };
  for (const Case& c : cases) {
    BaseDataParams p = Minimal();
    p.FamilyKbn = c.kbn;
    p.FamilyKey = c.family_key;
    auto written = Written(p);
    EXPECT_EQ(written["CUBS_FAMILY_KEY"], c.written_key) << "FamilyKbn '" << c.kbn << "'";
    EXPECT_EQ(written["CUBS_FAMILY_KBN"], c.written_kbn) << "FamilyKbn '" << c.kbn << "'";
  }
  // A member's family key is written bare: it must be a plain number.
  for (const char* bad : {"", "1E3", "1,100", "1100;Delete From CBASE", "11 00"}) {
    BaseDataParams p = Minimal();
    p.FamilyKbn = "2";
    p.FamilyKey = bad;
    ReportLog log;
    bench_.batch->Initialize();
    EXPECT_EQ(bench_.batch->SetBaseData(p), -1) << bad;
    EXPECT_EQ(bench_.batch->Queue()->Count(), 0) << bad;
    EXPECT_EQ(log.reports.size(), 1u) << bad;
  }
}

TEST_F(BaseData, ColumnsOnlyThisTableHas) {
  BaseDataParams p = Minimal();
  p.C_Birthday = "19700305";
  p.FamilyCnt = "x";
  p.KaruteNo = "   ";
  p.HochoMoney = "";  // Null like its sister amounts, not a broken statement
  p.Bestkey = "   ";
  p.KanjiNm = "O'Brien's";
  p.StoreCd = "0'1";
  auto written = Written(p);
  EXPECT_EQ(written["CUBS_BIRTH_DT"], "Null");
  EXPECT_EQ(written["CUBS_BIRTH_MD"], "Null");
  EXPECT_EQ(written["CUBS_FAMILY_CNT"], "0");
  EXPECT_EQ(written["CUBS_KARUTE_NO"], "'   '");
  EXPECT_EQ(written["CUBS_HO_AMT_SUM"], "Null");
  EXPECT_EQ(written["CUBS_BEST_KEY"], "Null");
  EXPECT_EQ(written["CUBS_BEST_LINK"], "Null");
  EXPECT_EQ(written["CUBS_CUSTOM_MEI"], "'O''Brien''s'");
  EXPECT_EQ(written["CUBS_STORE_NO"], "'0''1'");
  // Omitted optionals: Null, and TranseFlg 0.
  for (const char* column : {"CUBS_YOBI1", "CUBS_YOBI4", "CUBS_YOBI5", "CUBS_ADRES_VAR_CD"})
    EXPECT_EQ(written[column], "Null") << column;
  EXPECT_EQ(written["CUBS_TRANSE_FLG"], "0");

  p = Minimal();
  p.C_Birthday = " 2000-2-29 ";
  p.KaruteNo = "";
  p.HochoMoney = "1,500.5";
  p.TranseFlg = -7;
  written = Written(p);
  EXPECT_EQ(written["CUBS_BIRTH_DT"], "'2000/02/29'");
  EXPECT_EQ(written["CUBS_BIRTH_MD"], "0229");
  EXPECT_EQ(written["CUBS_KARUTE_NO"], "Null");
  EXPECT_EQ(written["CUBS_HO_AMT_SUM"], "1501");
  EXPECT_EQ(written["CUBS_TRANSE_FLG"], "-7");
}

TEST_F(BaseData, ArraysAreRenderedInPlaceWithinOneToSixteen) {
  // Indices 1 to 20: 17 to 20 are neither read nor changed.
  BaseDataParams p = Minimal();
  std::vector<std::string> items(20, "7.5");
  items[16] = "it's not read";
  p.C_FREE = SafeArray::OfStrings(1, items);
  ASSERT_EQ(Written(p)["CUBS_FREE_16"], "8");
  EXPECT_EQ(p.C_FREE->At(1), Variant::String("8"));
  EXPECT_EQ(p.C_FREE->At(16), Variant::String("8"));
  EXPECT_EQ(p.C_FREE->At(17), Variant::String("it's not read"));
  EXPECT_EQ(p.C_FREE->At(20), Variant::String("7.5"));

  // Indices 0 to 15: 16 is missing. Elements 1 to 15 were rendered before
  // the failure, element 0 is untouched, and nothing is queued.
  ReportLog log;
  p = Minimal();
  p.BuyFlg = SafeArray::OfStrings(0, std::vector<std::string>(16, "1"));
  bench_.batch->Initialize();
  EXPECT_EQ(bench_.batch->SetBaseData(p), -1);
  EXPECT_EQ(bench_.batch->Queue()->Count(), 0);
  EXPECT_EQ(p.BuyFlg->At(0), Variant::String("1"));
  EXPECT_EQ(p.BuyFlg->At(15), Variant::String("'1'"));
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].code, Variant::String("11015"));
  EXPECT_EQ(log.reports[0].source, "KVT710C3.SetBaseData");
  EXPECT_EQ(log.reports[0].error_number, err::kSubscript);

  // The last array lacks 16: the five before it are rendered whole, and
  // its own elements up to the failing one.
  p = Minimal();
  p.C_Free19 = Sixteen(std::vector<std::string>(16, " z "));
  p.EventFlg = SafeArray::OfStrings(1, std::vector<std::string>(15, "e"));
  EXPECT_EQ(bench_.batch->SetBaseData(p), -1);
  EXPECT_EQ(p.C_Free19->At(16), Variant::String("'z'"));
  EXPECT_EQ(p.EventFlg->At(15), Variant::String("'e'"));

  // Two dimensions, or no array at all, fail too.
  p = Minimal();
  p.C_Free18 = SafeArray::OfStrings2(1, 1, std::vector<std::vector<std::string>>(16, {"x"}));
  EXPECT_EQ(bench_.batch->SetBaseData(p), -1);
  p = Minimal();
  p.EventFlg = nullptr;
  EXPECT_EQ(bench_.batch->SetBaseData(p), -1);
  EXPECT_EQ(bench_.batch->Queue()->Count(), 0);
  EXPECT_EQ(log.reports.size(), 4u);
}

TEST_F(BaseData, BadKeyOrNoOwnConnectionQueuesNothingAndLeavesTheArrays) {
  for (const char* key : {"", "1203 Or 1=1", "1E3", "12,03", "A12"}) {
    BaseDataParams p = Minimal();
    p.UniqueKey = key;
    p.BuyFlg = Sixteen(std::vector<std::string>(16, "1"));
    ReportLog log;
    bench_.batch->Initialize();
    EXPECT_EQ(bench_.batch->SetBaseData(p), -1) << key;
    EXPECT_EQ(bench_.batch->Queue()->Count(), 0) << key;
    EXPECT_EQ(p.BuyFlg->At(1), Variant::String("1")) << key;
    ASSERT_EQ(log.reports.size(), 1u) << key;
    EXPECT_EQ(log.reports[0].source, "KVT710C3.SetBaseData");
  }

  // The database refuses the existence check: its error list is reported, then cleared.
  bench_.caller->Execute("Drop Table CBASE");
  bench_.batch = KVT710C3::Create();
  ReportLog log;
  EXPECT_EQ(bench_.batch->SetBaseData(Minimal()), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_FALSE(log.reports[0].errors.empty());

  // A batch object whose own connection never opened.
  testing_support::ScopedSettings no_area;
  auto batch = KVT710C3::Create();
  ASSERT_EQ(batch->DBStatus(), emDbError);
  log.reports.clear();
  EXPECT_EQ(batch->SetBaseData(Minimal()), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].code, Variant::String("11015"));
  EXPECT_TRUE(log.reports[0].errors.empty());
  ASSERT_NE(batch->Queue(), nullptr);
  EXPECT_EQ(batch->Queue()->Count(), 0);
}

}  // namespace
}  // namespace kvt710
