// The rules the writers apply to their values: refusals shared by every
// writer, the form each parameter takes in its column, the caller's arrays
// rendered in place, the skip rule of the maintenance row, and the
// late-bound parameter lists.
#include <functional>

#include "platform/clock.h"
#include "platform/settings/settings.h"
#include "tests/batch/writer_fixture.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using namespace writer_testing;
using B = BaseDataParams;
using M = MenteDataParams;
using G = GlassesHeaderParams;
using GD = GlassesDetailParams;
using C = ContactHeaderParams;
using CD = ContactDetailParams;
using H = HearingHeaderParams;
using HD = HearingDetailParams;
using S = SalesLineParams;

class WriterRules : public ::testing::Test {
 protected:
  // One parameter of `base` set to `value`, and what the writer puts in `column`.
  template <class P>
  struct Row {
    std::string P::*field;
    const char* value;
    const char* column;
    const char* literal;
  };
  template <class P>
  void Check(int32_t (KVT710C3::*writer)(const P&), P (*base)(), std::vector<Row<P>> rows) {
    for (const Row<P>& row : rows) {
      P p = base();  // fresh arrays: the writer renders them in place
      p.*row.field = row.value;
      b_.Initialize();
      ASSERT_EQ((b_.*writer)(p), 0) << row.value;
      ASSERT_EQ(b_.Queue()->Count(), 1) << row.value;
      EXPECT_EQ(LiteralsOf(b_.Queue()->Item(1))[row.column], row.literal)
          << row.column << " of '" << row.value << "'";
    }
  }
  int32_t Count() const { return b_.Queue() ? b_.Queue()->Count() : 0; }

  ScopedClock clock_{FixedNow};
  Bench bench_{Backend::kSQLite};
  KVT710C3& b_ = *bench_.batch;
};

TEST_F(WriterRules, RefusedValuesQueueNothingAndReport11015) {
  const char* k20 = "12345678901234567890";
  BaseDataParams refused = With(FullCustomer(), &B::UniqueKey, "1203 Or 1=1");
  auto base = [&](std::string B::*m, const char* v) {
    return b_.SetBaseData(With(FullCustomer(), m, v));
  };
  const std::vector<std::pair<const char*, std::function<int32_t()>>> calls = {
      {"SetBaseData", [&] { return b_.SetBaseData(refused); }},
      {"SetBaseData", [&] { return base(&B::UniqueKey, k20); }},
      {"SetBaseData", [&] { return base(&B::UniqueKey, ""); }},
      {"SetBaseData", [&] { return base(&B::FamilyKey, "1,100"); }},
      {"SetBaseData", [&] { return base(&B::HomeTel, "03-9E99"); }},
      {"SetMENTEData", [&] { return b_.SetMENTEData(With(FullMente(), &M::HtKbn, "")); }},
      {"SetMENTEData", [&] { return b_.SetMENTEData(With(FullMente(), &M::UniqueKey, k20)); }},
      {"FamilyCnt_Update", [&] { return b_.FamilyCnt_Update(k20); }},
      {"FamilyUpdate", [&] { return b_.FamilyUpdate("1E3", "1305"); }},
      {"FamilyUpdate", [&] { return b_.FamilyUpdate("1200", "1,305"); }},
      {"SetG_BaseData",
       [&] { return b_.SetG_BaseData(With(GlassesHeader(), &G::UniqueKey, k20)); }},
      {"SetG_DTLData",
       [&] { return b_.SetG_DTLData(With(GlassesDetail(), &GD::UniqueKey, "12a")); }},
      {"SetC_BaseData",
       [&] { return b_.SetC_BaseData(With(ContactHeader(), &C::HistoryNo, "1;x")); }},
      {"SetC_DTLData", [&] { return b_.SetC_DTLData(With(ContactDetail(), &CD::HistoryNo, "")); }},
      {"SetH_BaseData", [&] { return b_.SetH_BaseData(With(HearingHeader(), &H::UniqueKey, "")); }},
      {"SetH_DTLData",
       [&] { return b_.SetH_DTLData(With(HearingDetail(), &HD::HistoryNo, "1 2")); }},
      {"SetUriageData", [&] { return b_.SetUriageData(With(SalesLine(), &S::UniqueKey, k20)); }},
      {"SetUriageData", [&] { return b_.SetUriageData(With(SalesLine(), &S::RL_Kbn, "1e10")); }},
      {"SetUriageData", [&] { return b_.SetUriageData(With(SalesLine(), &S::Dummy, " ")); }},
      {"SetSYOKANData",
       [&] {
         return b_.SetSYOKANData({"001", "1e3", "x", ""});
       }},
  };
  for (const auto& [method, call] : calls) {
    ReportLog log;
    EXPECT_EQ(call(), -1) << method;
    EXPECT_EQ(Count(), 0) << method;
    ASSERT_EQ(log.reports.size(), 1u) << method;
    EXPECT_EQ(log.reports[0].code, Variant::String("11015")) << method;
    EXPECT_EQ(log.reports[0].source, std::string("KVT710C3.") + method);
  }
  EXPECT_EQ(refused.BuyFlg->At(1), Variant::String("1")) << "refused before any array is touched";
  // Family keys that are no numbers at all are nothing to move.
  EXPECT_EQ(b_.FamilyUpdate("A12", "1305"), 0);
  EXPECT_EQ(b_.FamilyUpdate("1200", "   "), 0);
  // A blank comment writes nothing.
  EXPECT_EQ(b_.SetSYOKANData({"001", "1203", "   ", ""}), 0);
  EXPECT_EQ(Count(), 0);
}

TEST_F(WriterRules, ValuesTakeTheFormOfTheirColumn) {
  Check<B>(&KVT710C3::SetBaseData, &MinimalCustomer,
           {{&B::HomeTel, "1-234", "CUBS_TELKEY", "Null"},  // the piece -234 is negative
            {&B::HomeTel, "123", "CUBS_TELKEY", "Null"},
            {&B::HomeTel, "1234", "CUBS_TELKEY", "'1234'"},
            {&B::HomeTel, "03-1234-56AB", "CUBS_TELKEY", "Null"},
            {&B::HomeTel, "番号1234", "CUBS_TELKEY", "'1234'"},  // characters, not bytes
            {&B::HomeTel, "12E3", "CUBS_TELKEY", "'12E3'"},
            {&B::HomeTel, "1-0.4", "CUBS_TELKEY", "'-0.4'"},  // rounds to 0: not negative
            {&B::HomeTel, "   ", "CUBS_HOME_TEL", "Null"},
            {&B::FamilyKbn, "1", "CUBS_FAMILY_KEY", "1203"},  // others carry their own key
            {&B::FamilyKbn, "3", "CUBS_FAMILY_KBN", "'1'"},
            {&B::FamilyKbn, "２", "CUBS_FAMILY_KEY", "1203"},
            {&B::C_Birthday, "19700305", "CUBS_BIRTH_MD", "Null"},
            {&B::C_Birthday, " 2000-2-29 ", "CUBS_BIRTH_MD", "0229"},
            {&B::FamilyCnt, "x", "CUBS_FAMILY_CNT", "0"},
            {&B::KaruteNo, "   ", "CUBS_KARUTE_NO", "'   '"},
            {&B::KaruteNo, "", "CUBS_KARUTE_NO", "Null"},
            {&B::HochoMoney, "1,500.5", "CUBS_HO_AMT_SUM", "1501"},
            {&B::Bestkey, "   ", "CUBS_BEST_LINK", "Null"},
            {&B::Yobi4, "", "CUBS_TRANSE_FLG", "0"}});
  Check<M>(&KVT710C3::SetMENTEData, &FullMente,
           {{&M::MotoStore, "x5", "MTRN_MOTO_STORE", "Null"},
            {&M::ZyotaiKbn, "", "MTRN_ZYOTAI_KBN", "Null"},
            {&M::KanaMei, "   ", "MTRN_KANA_MEI", "Null"},
            {&M::BirthDt, "1970/2/30", "MTRN_BIRTH_DT", "Null"},
            {&M::TranseFlg, "1", "MTRN_TRANSE_FLG", "1"}});
  Check<G>(&KVT710C3::SetG_BaseData, &GlassesHeader,
           {{&G::StoreCd, " 0'1", "GLS_STORE_NO", "' 0''1'"},
            {&G::HistoryNo, " 3 ", "GLS_HISTORY_NO", " 3 "},
            {&G::ExamDt, "20160704", "GLS_EXAM_DT", "Null"},  // no separators: not a date
            {&G::PurDistance, "x", "GLS_PUR_DISTANCE", "Null"},
            {&G::IntCd, "A12", "GLS_INT_CD", "Null"},
            {&G::Spec1, "   ", "GLS_SPEC_1", "Null"}});
  Check<S>(&KVT710C3::SetUriageData, &SalesLine,
           {{&S::Class, "0.5", "CSALE_CLASS", "1"},  // halves away from zero
            {&S::Class, "-0.5", "CSALE_CLASS", "-1"},
            {&S::Tax, "tax", "CSALE_TAX", "Null"},
            {&S::ClerkCd, "A12", "CSALE_CLERK_CD", "Null"},
            {&S::Maker, "   ", "CSALE_MAKER", "Null"},
            {&S::RL_Kbn, "3.4", "CSALE_RL_KBN", "3.4"},  // halves to even, then 1 to 3
            {&S::RL_Kbn, " 2", "CSALE_RL_KBN", " 2"},
            {&S::RL_Kbn, "0", "CSALE_RL_KBN", "Null"},
            {&S::RL_Kbn, "4", "CSALE_RL_KBN", "Null"},
            {&S::RL_Kbn, "0.5", "CSALE_RL_KBN", "Null"},
            {&S::RL_Kbn, "3.5", "CSALE_RL_KBN", "Null"},
            {&S::RL_Kbn, "A", "CSALE_RL_KBN", "Null"},
            {&S::Dummy, "", "CSALE_DUMMY", "Null"}});
  // ExamDt of the two details is accepted and written nowhere.
  ContactDetailParams contact = ContactDetail();
  b_.Initialize();
  ASSERT_EQ(b_.SetC_DTLData(contact), 0);
  contact.ExamDt = "2016/7/4";
  ASSERT_EQ(b_.SetC_DTLData(contact), 0);
  EXPECT_EQ(b_.Queue()->Item(1), b_.Queue()->Item(2));
}

TEST_F(WriterRules, CustomerArraysAreRenderedInPlaceWithinOneToSixteen) {
  // Indices 1 to 20: 17 to 20 are neither read nor changed.
  BaseDataParams p = MinimalCustomer();
  p.C_FREE = SafeArray::OfStrings(1, std::vector<std::string>(20, "7.5"));
  ASSERT_EQ(b_.SetBaseData(p), 0);
  EXPECT_EQ(p.C_FREE->At(16), Variant::String("8"));
  EXPECT_EQ(p.C_FREE->At(17), Variant::String("7.5"));

  // Indices 0 to 15: 1 to 15 were rendered before the failure, 0 is untouched.
  ReportLog log;
  b_.Initialize();
  p.BuyFlg = SafeArray::OfStrings(0, std::vector<std::string>(16, "1"));
  EXPECT_EQ(b_.SetBaseData(p), -1);
  EXPECT_EQ(p.BuyFlg->At(0), Variant::String("1"));
  EXPECT_EQ(p.BuyFlg->At(15), Variant::String("'1'"));
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_EQ(log.reports[0].error_number, err::kSubscript);
  // The last array lacks 16: the five before it were rendered whole.
  p = MinimalCustomer();
  p.C_Free19 = Sixteen(" z");
  p.EventFlg = SafeArray::OfStrings(1, std::vector<std::string>(15, "e"));
  EXPECT_EQ(b_.SetBaseData(p), -1);
  EXPECT_EQ(p.C_Free19->At(16), Variant::String("'z16'"));
  EXPECT_EQ(p.EventFlg->At(15), Variant::String("'e'"));
  p.EventFlg = SafeArray::OfStrings2(1, 1, std::vector<std::vector<std::string>>(16, {"x"}));
  EXPECT_EQ(b_.SetBaseData(p), -1);
  p.EventFlg = nullptr;
  EXPECT_EQ(b_.SetBaseData(p), -1);
  EXPECT_EQ(Count(), 0);
}

TEST_F(WriterRules, MaintenanceRowIsSkippedWhenItsStoreIsTheParameter) {
  const std::pair<const char*, const char*> skipped = {"12", "12"};
  const std::vector<std::pair<const char*, const char*>> written = {
      {"12", " 12"}, {"12", "13"}, {"12", "１２"}, {"X1", "X1"}, {"", ""}};
  for (const auto& [parameter, store] : written) {
    bench_.settings.Set(kSysParmSection, "7050", parameter);
    MenteDataParams p = FullMente();
    p.MotoStore = store;
    b_.Initialize();
    EXPECT_EQ(b_.SetMENTEData(p), 0);
    EXPECT_EQ(Count(), 1) << parameter << "/" << store;
  }
  // A skipped call reads nothing: it succeeds without an own connection.
  testing_support::ScopedSettings no_connection;
  no_connection.Set(kSysParmSection, "7050", skipped.first);
  auto batch = KVT710C3::Create();
  MenteDataParams p = FullMente();
  p.MotoStore = skipped.second;
  ReportLog log;
  EXPECT_EQ(batch->SetMENTEData(p), 0);
  EXPECT_EQ(batch->Queue(), nullptr);
  p.MotoStore = "13";
  EXPECT_EQ(batch->SetMENTEData(p), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_TRUE(log.reports[0].errors.empty());
}

// Called by name as a host does: arguments "1" to "n", each value naming its
// parameter's position. All of them, then one fewer than the required ones.
TEST_F(WriterRules, LateBoundParameterLists) {
  auto numbers = [](int first, int last, bool quoted = false) {
    std::string text;
    for (int i = first; i <= last; ++i)
      text += quoted ? "'" + std::to_string(i) + "'," : std::to_string(i) + ",";
    return text;
  };
  const std::string now = "'2016/07/04 13:05:09'";
  struct Case {
    const char* member;
    int count, required;
    std::map<int, Variant> special;
    std::string all;
  };
  const Variant exam = Variant::String("2016/1/4");
  const std::vector<Case> cases = {
      // Lens attributes come for both lenses in turn; the columns hold lens 1, then lens 2.
      {"SetG_BaseData",
       47,
       31,
       {{4, exam}},
       "( '1',2,3,'2016/01/04','5',6,7,8,'9','10','11',12,13,14,'15',17,19,'21',23,25,27,'16',"
       "18,20,'22',24,26,28,29,'30',31," +
           numbers(32, 45) + "'46'," + now + ",47)"},
      {"SetG_DTLData", 31, 30, {}, "( '1',2,3,4,'5'," + numbers(6, 30) + now + ",31)"},
      {"SetC_BaseData",
       41,
       25,
       {{4, exam}},
       "( '1',2,3,'2016/01/04','5',6,'7','8','9','10'," + numbers(11, 24) + "'25'," +
           numbers(26, 39) + "'40'," + now + ",41)"},
      {"SetC_DTLData", 25, 21, {}, "( '1',2,3,4,'6'," + numbers(7, 23) + "'24'," + now + ",25)"},
      {"SetH_BaseData",
       31,
       19,
       {{4, exam}, {16, Variant::String("2016/1/16")}},
       "( '1',2,3,'2016/01/04','5',6,7," + numbers(8, 15, true) + "'2016/01/16'," +
           numbers(17, 31, true) + now + ")"},
      {"SetUriageData",
       26,
       5,
       {{3, Variant::Long(3)},
        {4, Variant::Long(4)},
        {5, Variant::Long(-5)},
        {7, Variant::String("2016/1/7")},
        {24, Variant::String("2")},
        {26, Variant::Long(26)}},
       "( '1',2,3,4,-5,'6','2016/01/07','8','9','10',11,'12','13','14'," + numbers(15, 23) +
           "2,25," + now + ",26)"},
      {"SetSYOKANData", 4, 3, {}, "( '1',2,'3'," + now + ",4)"},
  };
  for (const Case& c : cases) {
    std::vector<Variant> args;
    for (int i = 1; i <= c.count; ++i)
      args.push_back(c.special.count(i) ? c.special.at(i) : Variant::String(std::to_string(i)));
    ASSERT_EQ(b_.Invoke(c.member, InvokeKind::kMethod, args), Variant::Long(0)) << c.member;
    const std::string& last = b_.Queue()->Item(Count());
    EXPECT_EQ(last.substr(last.find(") Values ") + 9), c.all) << c.member;
    args.resize(c.required - 1);
    EXPECT_EQ(Failure([&] { b_.Invoke(c.member, InvokeKind::kMethod, args); }).number(),
              err::kNotOptional)
        << c.member << ": a required argument omitted";
  }
  // Optional arguments omitted: Null, the sales line's transfer flag 0.
  std::vector<Variant> sale = {Variant::String("1"), Variant::String("2"), Variant::Long(3),
                               Variant::Long(4), Variant::Long(5)};
  ASSERT_EQ(b_.Call("SetUriageData", sale), Variant::Long(0));
  EXPECT_EQ(LiteralsOf(b_.Queue()->Item(Count()))["CSALE_DUMMY"], "Null");
  EXPECT_EQ(LiteralsOf(b_.Queue()->Item(Count()))["CSALE_TRANSE_FLG"], "0");

  // The hearing detail renders the caller's arrays in place, through the binding too.
  HearingDetailParams h = HearingDetail();
  std::vector<Variant> detail;
  for (int i = 1; i <= 19; ++i) detail.push_back(Variant::String(std::to_string(i)));
  detail[6] = Variant::Array(h.Kido), detail[7] = Variant::Array(h.Kodo);
  ASSERT_EQ(b_.Call("SetH_DTLData", detail), Variant::Long(0));
  EXPECT_EQ(LiteralsOf(b_.Queue()->Item(Count()))["HOCD_YOBI1"], "'9'");
  EXPECT_EQ(LiteralsOf(b_.Queue()->Item(Count()))["HOCD_FLG_2"], "Null");
  EXPECT_EQ(h.Kido->At(2, 5).ToString(), "'35'");

  // The customer master: every parameter in its order, the arrays written back.
  BaseDataParams p = FullCustomer();
  std::vector<Variant> args;
  for (auto field :
       {&B::StoreCd,     &B::UniqueKey,  &B::DenpyoNo,   &B::CustomerNo,     &B::KanaNm,
        &B::KanjiNm,     &B::FamilyKey,  &B::FamilyKbn,  &B::FamilyCd,       &B::FamilyCnt,
        &B::KaruteNo,    &B::C_Sex,      &B::C_Birthday, &B::FirstVisit,     &B::HomeTel,
        &B::PortableTel, &B::ConnectTel, &B::ConnectKbn, &B::ConnectRemarks, &B::E_mail_Add,
        &B::ZipCd,       &B::C_Address1, &B::C_Address2, &B::C_Address3})
    args.push_back(Variant::String(p.*field));
  for (auto array : {&B::BuyFlg, &B::C_FREE, &B::C_Free17, &B::C_Free18, &B::C_Free19})
    args.push_back(Variant::Array(p.*array));
  for (auto field : {&B::LicenseYear, &B::NewestVisit, &B::BuyTimes, &B::FarDegree, &B::NearDegree,
                     &B::CylDegree, &B::GlassMoney, &B::ContactMoney, &B::OtherMoney,
                     &B::HochoMoney, &B::DM_Flag, &B::C_Remarks})
    args.push_back(Variant::String(p.*field));
  args.push_back(Variant::Array(p.EventFlg));
  for (auto field : {&B::Bestkey, &B::JpegPath, &B::AreaCD, &B::Yobi1, &B::Yobi2, &B::Yobi3,
                     &B::Yobi4, &B::Yobi5, &B::Yobi6, &B::AddressBarcode})
    args.push_back(Variant::String(p.*field));
  args.push_back(Variant::Long(p.TranseFlg));
  b_.Initialize();
  ASSERT_EQ(b_.Invoke("setbasedata", InvokeKind::kMethod, args), Variant::Long(0));
  EXPECT_EQ(b_.Queue()->Item(1), kCustomerInsert);
  EXPECT_EQ(p.C_FREE->At(3), Variant::String("13"));
  args.resize(44);  // AreaCD omitted
  EXPECT_THROW(b_.Invoke("SetBaseData", InvokeKind::kMethod, args), Error);
}

}  // namespace
}  // namespace kvt710
