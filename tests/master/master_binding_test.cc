// The customer master writers called late-bound, by name, as a host does.
#include "platform/automation/registry.h"
#include "platform/clock.h"
#include "tests/master/customer_fixture.h"

namespace kvt710 {
namespace {

using master_testing::FixedNow;
using master_testing::FullCustomer;
using master_testing::FullMente;
using master_testing::LiteralsOf;
using testing_support::Backend;

// The arguments of SetBaseData in call order, from typed parameters.
std::vector<Variant> BaseArguments(const BaseDataParams& p) {
  auto s = [](const std::string& text) { return Variant::String(text); };
  auto a = [](const StringArray& array) { return Variant::Array(array); };
  return {s(p.StoreCd),
          s(p.UniqueKey),
          s(p.DenpyoNo),
          s(p.CustomerNo),
          s(p.KanaNm),
          s(p.KanjiNm),
          s(p.FamilyKey),
          s(p.FamilyKbn),
          s(p.FamilyCd),
          s(p.FamilyCnt),
          s(p.KaruteNo),
          s(p.C_Sex),
          s(p.C_Birthday),
          s(p.FirstVisit),
          s(p.HomeTel),
          s(p.PortableTel),
          s(p.ConnectTel),
          s(p.ConnectKbn),
          s(p.ConnectRemarks),
          s(p.E_mail_Add),
          s(p.ZipCd),
          s(p.C_Address1),
          s(p.C_Address2),
          s(p.C_Address3),
          a(p.BuyFlg),
          a(p.C_FREE),
          a(p.C_Free17),
          a(p.C_Free18),
          a(p.C_Free19),
          s(p.LicenseYear),
          s(p.NewestVisit),
          s(p.BuyTimes),
          s(p.FarDegree),
          s(p.NearDegree),
          s(p.CylDegree),
          s(p.GlassMoney),
          s(p.ContactMoney),
          s(p.OtherMoney),
          s(p.HochoMoney),
          s(p.DM_Flag),
          s(p.C_Remarks),
          a(p.EventFlg),
          s(p.Bestkey),
          s(p.JpegPath),
          s(p.AreaCD),
          s(p.Yobi1),
          s(p.Yobi2),
          s(p.Yobi3),
          s(p.Yobi4),
          s(p.Yobi5),
          s(p.Yobi6),
          s(p.AddressBarcode),
          Variant::Long(p.TranseFlg)};
}

class MasterLateBound : public ::testing::Test {
 protected:
  MasterLateBound() : database_(Backend::kSQLite) {
    settings_.UseConnection(database_.connection_string());
    batch_ = CreateObject("KVT710.KVT710C3");
    auto connection = CreateObject("ADODB.Connection");
    connection->Put("ConnectionString", Variant::String(database_.connection_string()));
    connection->Call("Open");
    batch_->PutRef("DBCon", Variant::Object(connection));
  }

  // The statements queued so far: the batch object behind the late-bound one.
  const StatementQueue& Queue() {
    auto typed = std::dynamic_pointer_cast<KVT710C3>(batch_);
    EXPECT_NE(typed, nullptr);
    EXPECT_NE(typed->Queue(), nullptr);
    return *typed->Queue();
  }

  ScopedClock clock_{FixedNow};
  testing_support::TestDatabase database_;
  testing_support::ScopedSettings settings_;
  std::shared_ptr<Dispatch> batch_;
};

TEST_F(MasterLateBound, SetBaseDataWritesArraysBackAndTakesOmittedOptionals) {
  BaseDataParams p = FullCustomer();
  std::vector<Variant> args = BaseArguments(p);
  EXPECT_EQ(batch_->Invoke("setbasedata", InvokeKind::kMethod, args), Variant::Long(0));
  EXPECT_EQ(Queue().Item(1), master_testing::FullCustomerInsert());
  // The caller's arrays, reached through its arguments, hold the rendered elements.
  ASSERT_TRUE(args[24].IsArray());
  EXPECT_EQ(args[24].ToArray()->At(2), Variant::String("Null"));
  EXPECT_EQ(args[25].ToArray()->At(3), Variant::String("13"));
  EXPECT_EQ(args[41].ToArray()->At(2), Variant::String("'E2'"));

  // Optionals omitted as Missing, or left off the end; a number for a String.
  std::vector<Variant> missing = BaseArguments(FullCustomer());
  for (size_t i = 45; i < missing.size(); ++i) missing[i] = Variant::Missing();
  missing[1] = Variant::Long(1203);
  std::vector<Variant> short_list = BaseArguments(FullCustomer());
  short_list.resize(45);
  for (auto* list : {&missing, &short_list}) {
    EXPECT_EQ(batch_->Invoke("SetBaseData", InvokeKind::kMethod, *list), Variant::Long(0));
    auto written = LiteralsOf(Queue().Item(Queue().Count()));
    for (const char* column : {"CUBS_YOBI1", "CUBS_YOBI3", "CUBS_YOBI5", "CUBS_ADRES_VAR_CD"})
      EXPECT_EQ(written[column], "Null") << column;
    EXPECT_EQ(written["CUBS_TRANSE_FLG"], "0");
    EXPECT_EQ(written["CUBS_UNIQUE_KEY"], "1203");
  }

  // A required argument omitted, or a text where an array belongs.
  std::vector<Variant> too_short = BaseArguments(FullCustomer());
  too_short.resize(44);
  try {
    batch_->Invoke("SetBaseData", InvokeKind::kMethod, too_short);
    FAIL() << "AreaCD is required";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kNotOptional);
  }
  std::vector<Variant> not_array = BaseArguments(FullCustomer());
  not_array[24] = Variant::String("1");
  EXPECT_THROW(batch_->Invoke("SetBaseData", InvokeKind::kMethod, not_array), Error);
  EXPECT_EQ(Queue().Count(), 3);
}

TEST_F(MasterLateBound, MaintenanceAndFamilyMembers) {
  MenteDataParams m = FullMente();
  std::vector<Variant> args;
  for (const std::string* text :
       {&m.StoreCd, &m.HtKbn, &m.UniqueKey, &m.KBN, &m.MotoStore, &m.KanaMei, &m.CustomMei, &m.Sex,
        &m.BirthDt, &m.HomeTel, &m.NewbstComing, &m.ClerkCd, &m.ZyotaiKbn, &m.TranseFlg, &m.UpdFlg})
    args.push_back(Variant::String(*text));
  EXPECT_EQ(batch_->Call("SetMENTEData", args), Variant::Long(0));
  args.pop_back();
  try {
    batch_->Call("SetMENTEData", args);
    FAIL() << "UpdFlg is required";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kNotOptional);
  }

  EXPECT_EQ(batch_->Call("FamilyUpdate", {Variant::Long(1200), Variant::String("1305")}),
            Variant::Long(0));
  EXPECT_EQ(batch_->Call("familycnt_update", {Variant::String("1305")}), Variant::Long(0));
  EXPECT_EQ(batch_->Call("FamilyUpdate", {Variant::String("A"), Variant::String("1305")}),
            Variant::Long(0));
  EXPECT_EQ(batch_->Call("FamilyCnt_Update", {Variant::String("1E3")}), Variant::Long(-1));
  ASSERT_EQ(Queue().Count(), 4);
  EXPECT_EQ(Queue().Item(1), master_testing::FullMenteInsert());
  EXPECT_EQ(Queue().Item(2), "Update CBASE Set CUBS_FAMILY_KEY = 1200 Where CUBS_UNIQUE_KEY=1305");
  EXPECT_NE(Queue().Item(4).find("Where CUBS_UNIQUE_KEY=1305"), std::string::npos);
  EXPECT_THROW(batch_->Call("FamilyUpdate", {Variant::String("1200")}), Error);
}

}  // namespace
}  // namespace kvt710
