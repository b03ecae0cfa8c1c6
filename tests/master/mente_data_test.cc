// SetMENTEData: the skip rule asked of the system parameter object, the
// CMENTE_T statements and the optional columns of the UPDATE.
#include "platform/automation/registry.h"
#include "platform/clock.h"
#include "platform/settings/settings.h"
#include "platform/text/ascii.h"
#include "tests/master/customer_fixture.h"

namespace kvt710 {
namespace {

using master_testing::Bench;
using master_testing::FixedNow;
using master_testing::FullMente;
using master_testing::LiteralsOf;
using master_testing::ReportLog;
using testing_support::Backend;

// A system parameter object that answers GetSysParm with `result` and
// counts what is asked of it.
struct FakeParameters : Dispatch {
  FakeParameters(int32_t result, int* created, int* naiyo_reads)
      : result(result), naiyo_reads(naiyo_reads) {
    ++*created;
  }
  Variant Invoke(std::string_view member, InvokeKind, std::vector<Variant>& args) override {
    if (text::EqualsIgnoreCase(member, "GetSysParm")) {
      EXPECT_EQ(args.at(0), Variant::Integer(7050));
      return Variant::Long(result);
    }
    ++*naiyo_reads;
    return Variant::String("12");
  }
  int32_t result;
  int* naiyo_reads;
};

// Replaces the factory of "PRW520.PRW520C2" while it lives.
class ScopedParameters {
 public:
  explicit ScopedParameters(ObjectRegistry::Factory factory)
      : previous_(ObjectRegistry::Default().Register("PRW520.PRW520C2", std::move(factory))) {}
  ~ScopedParameters() { ObjectRegistry::Default().Register("PRW520.PRW520C2", previous_); }

 private:
  ObjectRegistry::Factory previous_;
};

class MenteData : public ::testing::Test {
 protected:
  MenteDataParams WithMotoStore(std::string moto_store) {
    MenteDataParams p = FullMente();
    p.MotoStore = std::move(moto_store);
    return p;
  }

  ScopedClock clock_{FixedNow};
  Bench bench_{Backend::kSQLite};
};

TEST_F(MenteData, InsertThenUpdateWithAndWithoutTheOptionalColumns) {
  EXPECT_EQ(bench_.batch->SetMENTEData(FullMente()), 0);
  // A row of another HT kind or store is another transaction.
  bench_.caller->Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY) Values ('001',1,1203)");
  bench_.caller->Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY) Values ('002',2,1203)");
  EXPECT_EQ(bench_.batch->SetMENTEData(FullMente()), 0);
  bench_.caller->Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY) Values ('001',2,1203)");
  EXPECT_EQ(bench_.batch->SetMENTEData(FullMente()), 0);
  MenteDataParams p = FullMente();
  p.MotoStore = "x5";
  p.ZyotaiKbn = "";
  EXPECT_EQ(bench_.batch->SetMENTEData(p), 0);
  ASSERT_EQ(bench_.batch->Queue()->Count(), 4) << bench_.Queued();
  EXPECT_EQ(bench_.batch->Queue()->Item(1), master_testing::FullMenteInsert());
  EXPECT_EQ(bench_.batch->Queue()->Item(2), master_testing::FullMenteInsert());
  EXPECT_EQ(bench_.batch->Queue()->Item(3), master_testing::FullMenteUpdate());
  EXPECT_EQ(bench_.batch->Queue()->Item(4),
            "Update CMENTE_T Set MTRN_STORE_NO='001',MTRN_HT_KBN=2,MTRN_UNIQUE_KEY=1203,MTRN_KBN=1,"
            "MTRN_KANA_MEI='O''Hara',MTRN_CUSTOM_MEI='山田 太郎',MTRN_SEX=1,"
            "MTRN_BIRTH_DT='1970/01/02',MTRN_HOME_TEL='03-1234-5678',"
            "MTRN_NEWBST_COMING='2016/07/04',MTRN_CLERK_CD='C7',"
            "MTRN_UPDATE='2016/07/04 13:05:09',MTRN_TRANSE_FLG=Null,MTRN_UPD_FLG=1 "
            "Where MTRN_STORE_NO='001' And MTRN_HT_KBN=2 And MTRN_UNIQUE_KEY=1203");

  // The INSERT names both optional columns, with Null.
  bench_.batch->Initialize();
  p.HtKbn = "3";
  p.KanaMei = "   ";
  p.CustomMei = "   ";
  p.BirthDt = "1970/2/30";
  p.TranseFlg = "1";
  ASSERT_EQ(bench_.batch->SetMENTEData(p), 0);
  auto written = LiteralsOf(bench_.batch->Queue()->Item(1));
  EXPECT_EQ(written["MTRN_MOTO_STORE"], "Null");
  EXPECT_EQ(written["MTRN_ZYOTAI_KBN"], "Null");
  EXPECT_EQ(written["MTRN_KANA_MEI"], "Null");
  EXPECT_EQ(written["MTRN_CUSTOM_MEI"], "Null");
  EXPECT_EQ(written["MTRN_BIRTH_DT"], "Null");
  EXPECT_EQ(written["MTRN_TRANSE_FLG"], "1");
}

TEST_F(MenteData, QuotesInTheStoreCodeAreDoubledInTheCheckAndTheStatement) {
  MenteDataParams p = FullMente();
  p.StoreCd = "0'1";
  bench_.caller->Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY) Values ('0''1',2,1203)");
  ASSERT_EQ(bench_.batch->SetMENTEData(p), 0);
  const std::string& text = bench_.batch->Queue()->Item(1);
  EXPECT_EQ(text.rfind("Update CMENTE_T Set MTRN_STORE_NO='0''1',", 0), 0u) << text;
  EXPECT_NE(text.find(" Where MTRN_STORE_NO='0''1' And MTRN_HT_KBN=2 And MTRN_UNIQUE_KEY=1203"),
            std::string::npos)
      << text;
}

TEST_F(MenteData, SkipRuleComparesTheParameterExactly) {
  bench_.settings.Set(kSysParmSection, "7050", "12");
  EXPECT_EQ(bench_.batch->SetMENTEData(WithMotoStore("12")), 0);
  EXPECT_EQ(bench_.batch->Queue(), nullptr) << "nothing is queued, no queue is created";
  for (const char* other : {" 12", "12 ", "13", "", "１２"})
    EXPECT_EQ(bench_.batch->SetMENTEData(WithMotoStore(other)), 0) << other;
  EXPECT_EQ(bench_.batch->Queue()->Count(), 5);

  // A parameter that is not a number never skips, even when equal.
  bench_.batch->Initialize();
  bench_.settings.Set(kSysParmSection, "7050", "X1");
  EXPECT_EQ(bench_.batch->SetMENTEData(WithMotoStore("X1")), 0);
  bench_.settings.Set(kSysParmSection, "7050", "");
  EXPECT_EQ(bench_.batch->SetMENTEData(WithMotoStore("")), 0);
  EXPECT_EQ(bench_.batch->Queue()->Count(), 2);

  // A skipped call reads nothing: it succeeds without an own connection.
  testing_support::ScopedSettings no_connection;
  no_connection.Set(kSysParmSection, "7050", "12");
  auto batch = KVT710C3::Create();
  ReportLog log;
  EXPECT_EQ(batch->SetMENTEData(WithMotoStore("12")), 0);
  EXPECT_TRUE(log.reports.empty());
  // Not skipped: the existence check fails, with an empty error list.
  EXPECT_EQ(batch->SetMENTEData(WithMotoStore("13")), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].source, "KVT710C3.SetMENTEData");
  EXPECT_TRUE(log.reports[0].errors.empty());
}

TEST_F(MenteData, AsksAFreshParameterObjectEveryCall) {
  int created = 0, naiyo_reads = 0;
  int32_t result = 1;  // "no such parameter": NAIYO is not read
  ScopedParameters fake([&]() -> std::shared_ptr<Dispatch> {
    return std::make_shared<FakeParameters>(result, &created, &naiyo_reads);
  });
  EXPECT_EQ(bench_.batch->SetMENTEData(WithMotoStore("12")), 0);
  EXPECT_EQ(bench_.batch->SetMENTEData(WithMotoStore("12")), 0);
  EXPECT_EQ(created, 2);
  EXPECT_EQ(naiyo_reads, 0);
  EXPECT_EQ(bench_.batch->Queue()->Count(), 2);
  result = 0;
  EXPECT_EQ(bench_.batch->SetMENTEData(WithMotoStore("12")), 0);
  EXPECT_EQ(created, 3);
  EXPECT_EQ(naiyo_reads, 1);
  EXPECT_EQ(bench_.batch->Queue()->Count(), 2) << "skipped";
}

TEST_F(MenteData, FailuresOfTheSiblingPassThroughAndBadKeysReport) {
  {
    ScopedParameters broken([] { return std::shared_ptr<Dispatch>(); });
    ReportLog log;
    EXPECT_THROW(bench_.batch->SetMENTEData(FullMente()), Error);
    EXPECT_EQ(bench_.batch->Queue(), nullptr);
    EXPECT_TRUE(log.reports.empty());
  }
  struct Case {
    const char* ht_kbn;
    const char* key;
  };
  for (const Case& c : {Case{"", "1203"}, Case{"2", ""}, Case{"1E3", "1203"}, Case{"2", "1,203"},
                        Case{"2 Or 1=1", "1203"}}) {
    MenteDataParams p = FullMente();
    p.HtKbn = c.ht_kbn;
    p.UniqueKey = c.key;
    ReportLog log;
    EXPECT_EQ(bench_.batch->SetMENTEData(p), -1) << c.ht_kbn << "/" << c.key;
    ASSERT_EQ(log.reports.size(), 1u);
    EXPECT_EQ(log.reports[0].code, Variant::String("11015"));
    EXPECT_EQ(log.reports[0].source, "KVT710C3.SetMENTEData");
  }
  EXPECT_EQ(bench_.batch->Queue()->Count(), 0);
}

}  // namespace
}  // namespace kvt710
