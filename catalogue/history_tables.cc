// The eight history tables of the batch object's writers: glasses, contact
// lenses, hearing aids, sales lines and comments.
#include "catalogue/columns.h"

namespace kvt710::catalogue {

// SetG_BaseData and SetG_DTLData: glasses prescription headers (CGLASBS) and
// their measurement details (CGLASDTL).
const sql::Table<GlassesHeaderParams>& GlassesHeaderTable() {
  using P = GlassesHeaderParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CGLASBS",
      Concat<sql::Column<P>>({
          EntryKeyColumns<P>("GLS_"),
          {
              {"GLS_EXAM_DT", F::kDate, S::Text(&P::ExamDt)},
              {"GLS_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
              {"GLS_USE_PUR", F::kNumber, S::Text(&P::UsePur)},
              {"GLS_PUR_DISTANCE", F::kNumber, S::Text(&P::PurDistance)},
              {"GLS_TUNING", F::kNumber, S::Text(&P::Tun)},
              {"GLS_INT_CD", F::kQuotedNumber, S::Text(&P::IntCd)},
              {"GLS_CLERK_CD", F::kQuotedNumber, S::Text(&P::ClerkCd)},
              {"GLS_ATUKAI_NO", F::kQuotedNumber, S::Text(&P::AtukaiNo)},
              {"GLS_NAKED_SIGHT_1", F::kNumber, S::Text(&P::Naked_S_1)},
              {"GLS_NAKED_SIGHT_2", F::kNumber, S::Text(&P::Naked_S_2)},
              {"GLS_NAKED_SIGHT_3", F::kNumber, S::Text(&P::Naked_S_3)},
              {"GLS_LENS_COLR1", F::kText, S::Text(&P::LensColr_R)},
              {"GLS_LENS_NODO1", F::kNumber, S::Text(&P::LensNodo_R)},
              {"GLS_LENS_NODO_UD1", F::kNumber, S::Text(&P::LensNodo_Ud_R)},
              {"GLS_SPEC_1", F::kText, S::Text(&P::Spec1)},
              {"GLS_COLR_CLS1", F::kNumber, S::Text(&P::ColrCls_R)},
              {"GLS_MATERIAL_CD1", F::kNumber, S::Text(&P::MaterialCd_R)},
              {"GLS_CYL_CTRL1", F::kNumber, S::Text(&P::CylCtrl_R)},
              {"GLS_LENS_COLR2", F::kText, S::Text(&P::LensColr_L)},
              {"GLS_LENS_NODO2", F::kNumber, S::Text(&P::LensNodo_L)},
              {"GLS_LENS_NODO_UD2", F::kNumber, S::Text(&P::LensNodo_Ud_L)},
              {"GLS_SPEC_2", F::kText, S::Text(&P::Spec2)},
              {"GLS_COLR_CLS2", F::kNumber, S::Text(&P::ColrCls_L)},
              {"GLS_MATERIAL_CD2", F::kNumber, S::Text(&P::MaterialCd_L)},
              {"GLS_CYL_CTRL2", F::kNumber, S::Text(&P::CylCtrl_L)},
              {"GLS_OPHT_MEDIC", F::kNumber, S::Text(&P::OphtMedic)},
              {"GLS_REMARKS", F::kText, S::Text(&P::C_Remarks)},
              {"GLS_OD_KIND_FLG", F::kNumber, S::Text(&P::OdKind_Flg)},
          },
          DegreeColumns<P>("GLS_"),
          SpareColumns<P>("GLS_"),
      }),
  };
  return table;
}

// The host passes each lens attribute for both lenses in turn, while the
// columns list all attributes of lens 1 and then those of lens 2.
const std::vector<sql::Param<GlassesHeaderParams>>& GlassesHeaderParamList() {
  using P = GlassesHeaderParams;
  static const auto params = Concat<sql::Param<P>>({
      EntryKeyParams<P>(),
      Required<P>({{"ExamDt", &P::ExamDt},
                   {"DenpyoNo", &P::DenpyoNo},
                   {"UsePur", &P::UsePur},
                   {"PurDistance", &P::PurDistance},
                   {"Tun", &P::Tun},
                   {"IntCd", &P::IntCd},
                   {"ClerkCd", &P::ClerkCd},
                   {"AtukaiNo", &P::AtukaiNo},
                   {"Naked_S_1", &P::Naked_S_1},
                   {"Naked_S_2", &P::Naked_S_2},
                   {"Naked_S_3", &P::Naked_S_3},
                   {"LensColr_R", &P::LensColr_R},
                   {"LensColr_L", &P::LensColr_L},
                   {"LensNodo_R", &P::LensNodo_R},
                   {"LensNodo_L", &P::LensNodo_L},
                   {"LensNodo_Ud_R", &P::LensNodo_Ud_R},
                   {"LensNodo_Ud_L", &P::LensNodo_Ud_L},
                   {"Spec1", &P::Spec1},
                   {"Spec2", &P::Spec2},
                   {"ColrCls_R", &P::ColrCls_R},
                   {"ColrCls_L", &P::ColrCls_L},
                   {"MaterialCd_R", &P::MaterialCd_R},
                   {"MaterialCd_L", &P::MaterialCd_L},
                   {"CylCtrl_R", &P::CylCtrl_R},
                   {"CylCtrl_L", &P::CylCtrl_L},
                   {"OphtMedic", &P::OphtMedic},
                   {"C_Remarks", &P::C_Remarks},
                   {"OdKind_Flg", &P::OdKind_Flg}}),
      DegreeParams<P>(),
      SpareParams<P>(),
  });
  return params;
}

const sql::Table<GlassesDetailParams>& GlassesDetailTable() {
  using P = GlassesDetailParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CGLASDTL",
      Concat<sql::Column<P>>({
          EntryKeyColumns<P>("GLS_"),
          {
              {"GLS_KIND1", F::kKey, S::Text(&P::Kind)},
              {"GLS_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
              {"GLS_SIGHT_1", F::kNumber, S::Text(&P::Sight1)},
              {"GLS_SIGHT_2", F::kNumber, S::Text(&P::Sight2)},
              {"GLS_SIGHT_3", F::kNumber, S::Text(&P::Sight3)},
              {"GLS_S_1", F::kNumber, S::Text(&P::S_1)},
              {"GLS_C_1", F::kNumber, S::Text(&P::C_1)},
              {"GLS_AX_1", F::kNumber, S::Text(&P::Ax_1)},
              {"GLS_ADD_1", F::kNumber, S::Text(&P::Add_1)},
              {"GLS_P1_1", F::kNumber, S::Text(&P::P1_1)},
              {"GLS_B1_1", F::kNumber, S::Text(&P::B1_1)},
              {"GLS_HEN1_1", F::kNumber, S::Text(&P::Hen1_1)},
              {"GLS_P_WAY1_1", F::kNumber, S::Text(&P::P_Way1_1)},
              {"GLS_PD_1", F::kNumber, S::Text(&P::Pd_1)},
              {"GLS_NPD_1", F::kNumber, S::Text(&P::Npd_1)},
              {"GLS_EYE_POINT_1", F::kNumber, S::Text(&P::EyePoint_1)},
              {"GLS_S_2", F::kNumber, S::Text(&P::S_2)},
              {"GLS_C_2", F::kNumber, S::Text(&P::C_2)},
              {"GLS_AX_2", F::kNumber, S::Text(&P::Ax_2)},
              {"GLS_ADD_2", F::kNumber, S::Text(&P::Add_2)},
              {"GLS_P1_2", F::kNumber, S::Text(&P::P1_2)},
              {"GLS_B1_2", F::kNumber, S::Text(&P::B1_2)},
              {"GLS_HEN1_2", F::kNumber, S::Text(&P::Hen1_2)},
              {"GLS_P_WAY1_2", F::kNumber, S::Text(&P::P_Way1_2)},
              {"GLS_PD_2", F::kNumber, S::Text(&P::Pd_2)},
              {"GLS_NPD_2", F::kNumber, S::Text(&P::Npd_2)},
              {"GLS_EYE_POINT_2", F::kNumber, S::Text(&P::EyePoint2)},
              {"GLS_UPD_DATETIME", F::kTimestamp, S::None()},
              {"GLS_TRANSE_FLG", F::kNumber, S::Text(&P::TranseFlg)},
          },
      }),
  };
  return table;
}

const std::vector<sql::Param<GlassesDetailParams>>& GlassesDetailParamList() {
  using P = GlassesDetailParams;
  static const auto params = Concat<sql::Param<P>>({
      EntryKeyParams<P>(),
      Required<P>({{"Kind", &P::Kind},
                   {"DenpyoNo", &P::DenpyoNo},
                   {"Sight1", &P::Sight1},
                   {"Sight2", &P::Sight2},
                   {"Sight3", &P::Sight3},
                   {"S_1", &P::S_1},
                   {"C_1", &P::C_1},
                   {"Ax_1", &P::Ax_1},
                   {"Add_1", &P::Add_1},
                   {"P1_1", &P::P1_1},
                   {"B1_1", &P::B1_1},
                   {"Hen1_1", &P::Hen1_1},
                   {"P_Way1_1", &P::P_Way1_1},
                   {"Pd_1", &P::Pd_1},
                   {"Npd_1", &P::Npd_1},
                   {"EyePoint_1", &P::EyePoint_1},
                   {"S_2", &P::S_2},
                   {"C_2", &P::C_2},
                   {"Ax_2", &P::Ax_2},
                   {"Add_2", &P::Add_2},
                   {"P1_2", &P::P1_2},
                   {"B1_2", &P::B1_2},
                   {"Hen1_2", &P::Hen1_2},
                   {"P_Way1_2", &P::P_Way1_2},
                   {"Pd_2", &P::Pd_2},
                   {"Npd_2", &P::Npd_2},
                   {"EyePoint2", &P::EyePoint2}}),
      Optional<P>({{"TranseFlg", &P::TranseFlg}}),
  });
  return params;
}

// SetC_BaseData and SetC_DTLData: contact lens headers (CCNTBS) and their
// lens details (CCNTDTL).
const sql::Table<ContactHeaderParams>& ContactHeaderTable() {
  using P = ContactHeaderParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CCNTBS",
      Concat<sql::Column<P>>({
          EntryKeyColumns<P>("CNT_"),
          {
              {"CNT_EXAM_DT", F::kDate, S::Text(&P::ExamDt)},
              {"CNT_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
              {"CNT_USE_PUR", F::kNumber, S::Text(&P::UsePur)},
              {"CNT_DOCTOR_CD", F::kQuotedNumber, S::Text(&P::DoctorCd)},
              {"CNT_INT_CD", F::kQuotedNumber, S::Text(&P::IntCd)},
              {"CNT_CLERK_CD", F::kQuotedNumber, S::Text(&P::ClerkCd)},
              {"CNT_ATUKAI_NO", F::kQuotedNumber, S::Text(&P::AtukaiNo)},
              {"CNT_NAKED_SIGHT_1", F::kNumber, S::Text(&P::Naked_S_1)},
              {"CNT_NAKED_SIGHT_2", F::kNumber, S::Text(&P::Naked_S_2)},
              {"CNT_NAKED_SIGHT_3", F::kNumber, S::Text(&P::Naked_S_3)},
              {"CNT_VK_1", F::kNumber, S::Text(&P::Vk_1)},
              {"CNT_HK_1", F::kNumber, S::Text(&P::Hk_1)},
              {"CNT_KRT_AX_1", F::kNumber, S::Text(&P::Krt_Ax_1)},
              {"CNT_VK_2", F::kNumber, S::Text(&P::Vk_2)},
              {"CNT_HK_2", F::kNumber, S::Text(&P::Hk_2)},
              {"CNT_KRT_AX_2", F::kNumber, S::Text(&P::Krt_Ax_2)},
              {"CNT_SYORI_KBN1", F::kNumber, S::Text(&P::SyoriKbn1)},
              {"CNT_SYORI_KBN2", F::kNumber, S::Text(&P::SyoriKbn2)},
              {"CNT_ALLERGY", F::kNumber, S::Text(&P::Allergy)},
              {"CNT_YY", F::kNumber, S::Text(&P::UseYear)},
              {"CNT_TIME", F::kNumber, S::Text(&P::Time)},
              {"CNT_REMARKS", F::kText, S::Text(&P::Remarks)},
          },
          DegreeColumns<P>("CNT_"),
          SpareColumns<P>("CNT_"),
      }),
  };
  return table;
}

const std::vector<sql::Param<ContactHeaderParams>>& ContactHeaderParamList() {
  using P = ContactHeaderParams;
  static const auto params = Concat<sql::Param<P>>({
      EntryKeyParams<P>(),
      Required<P>(
          {{"ExamDt", &P::ExamDt},       {"DenpyoNo", &P::DenpyoNo},   {"UsePur", &P::UsePur},
           {"DoctorCd", &P::DoctorCd},   {"IntCd", &P::IntCd},         {"ClerkCd", &P::ClerkCd},
           {"AtukaiNo", &P::AtukaiNo},   {"Naked_S_1", &P::Naked_S_1}, {"Naked_S_2", &P::Naked_S_2},
           {"Naked_S_3", &P::Naked_S_3}, {"Vk_1", &P::Vk_1},           {"Hk_1", &P::Hk_1},
           {"Krt_Ax_1", &P::Krt_Ax_1},   {"Vk_2", &P::Vk_2},           {"Hk_2", &P::Hk_2},
           {"Krt_Ax_2", &P::Krt_Ax_2},   {"SyoriKbn1", &P::SyoriKbn1}, {"SyoriKbn2", &P::SyoriKbn2},
           {"Allergy", &P::Allergy},     {"UseYear", &P::UseYear},     {"Time", &P::Time},
           {"Remarks", &P::Remarks}}),
      DegreeParams<P>(),
      SpareParams<P>(),
  });
  return params;
}

const sql::Table<ContactDetailParams>& ContactDetailTable() {
  using P = ContactDetailParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CCNTDTL",
      Concat<sql::Column<P>>({
          EntryKeyColumns<P>("CNT_"),
          {
              {"CNT_KIND1", F::kKey, S::Text(&P::Kind)},
              {"CNT_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
              {"CNT_SIGHT_1", F::kNumber, S::Text(&P::Sight1)},
              {"CNT_SIGHT_2", F::kNumber, S::Text(&P::Sight2)},
              {"CNT_SIGHT_3", F::kNumber, S::Text(&P::Sight3)},
              {"CNT_BC_1", F::kNumber, S::Text(&P::Bc_1)},
              {"CNT_P_1", F::kNumber, S::Text(&P::P_1)},
              {"CNT_C_1", F::kNumber, S::Text(&P::C_1)},
              {"CNT_AX_1", F::kNumber, S::Text(&P::Ax_1)},
              {"CNT_SIZ_1", F::kNumber, S::Text(&P::Siz_1)},
              {"CNT_ADD_1", F::kNumber, S::Text(&P::Add_1)},
              {"CNT_BC_2", F::kNumber, S::Text(&P::Bc_2)},
              {"CNT_P_2", F::kNumber, S::Text(&P::P_2)},
              {"CNT_C_2", F::kNumber, S::Text(&P::C_2)},
              {"CNT_AX_2", F::kNumber, S::Text(&P::Ax_2)},
              {"CNT_SIZ_2", F::kNumber, S::Text(&P::Siz_2)},
              {"CNT_ADD_2", F::kNumber, S::Text(&P::Add_2)},
          },
          SpareColumns<P>("CNT_"),
      }),
  };
  return table;
}

// ExamDt is accepted and written nowhere: the detail has no date column.
const std::vector<sql::Param<ContactDetailParams>>& ContactDetailParamList() {
  using P = ContactDetailParams;
  static const auto params = Concat<sql::Param<P>>({
      EntryKeyParams<P>(),
      Required<P>({{"Kind", &P::Kind},
                   {"ExamDt", &P::ExamDt},
                   {"DenpyoNo", &P::DenpyoNo},
                   {"Sight1", &P::Sight1},
                   {"Sight2", &P::Sight2},
                   {"Sight3", &P::Sight3},
                   {"Bc_1", &P::Bc_1},
                   {"P_1", &P::P_1},
                   {"C_1", &P::C_1},
                   {"Ax_1", &P::Ax_1},
                   {"Siz_1", &P::Siz_1},
                   {"Add_1", &P::Add_1},
                   {"Bc_2", &P::Bc_2},
                   {"P_2", &P::P_2},
                   {"C_2", &P::C_2},
                   {"Ax_2", &P::Ax_2},
                   {"Siz_2", &P::Siz_2},
                   {"Add_2", &P::Add_2}}),
      SpareParams<P>(),
  });
  return params;
}

// SetH_BaseData and SetH_DTLData: hearing aid headers (CHOCHOBS) and their
// measurement details (CHOCHODTL).
namespace {

// The ten reserve texts, the two flags and the time of writing that end
// both hearing aid tables; all optional.
template <class P>
std::array<std::string P::*, 12> ReserveMembers() {
  return {&P::Yobi1, &P::Yobi2, &P::Yobi3, &P::Yobi4,  &P::Yobi5, &P::Yobi6,
          &P::Yobi7, &P::Yobi8, &P::Yobi9, &P::Yobi10, &P::Flg1,  &P::Flg2};
}
template <class P>
Columns<P> ReserveColumns(const std::string& prefix) {
  Columns<P> columns;
  const auto members = ReserveMembers<P>();
  for (size_t i = 0; i < members.size(); ++i) {
    const std::string name =
        i < 10 ? "YOBI" + std::to_string(i + 1) : "FLG_" + std::to_string(i - 9);
    columns.push_back({prefix + name, sql::Form::kPlainText, sql::Source<P>::Text(members[i])});
  }
  columns.push_back({prefix + "UPD_DATETIME", sql::Form::kTimestamp, sql::Source<P>::None()});
  return columns;
}
template <class P>
Params<P> ReserveParams() {
  Params<P> params;
  const auto members = ReserveMembers<P>();
  for (size_t i = 0; i < members.size(); ++i) {
    const std::string name =
        i < 10 ? "Yobi" + std::to_string(i + 1) : "Flg" + std::to_string(i - 9);
    params.push_back({name, sql::Source<P>::Text(members[i]), true});
  }
  return params;
}

// Kido(i, n) and Kodo(i, n): side i (1 = R, 2 = L), measuring point n.
Columns<HearingDetailParams> MeasurementColumns() {
  using P = HearingDetailParams;
  Columns<P> columns;
  sql::AddElementColumns(columns, "HOCD_KIDOR_", "", 11, sql::Form::kPlainText, &P::Kido, 1);
  sql::AddElementColumns(columns, "HOCD_KIDOL_", "", 11, sql::Form::kPlainText, &P::Kido, 2);
  sql::AddElementColumns(columns, "HOCD_KODOR_", "", 11, sql::Form::kPlainText, &P::Kodo, 1);
  sql::AddElementColumns(columns, "HOCD_KODOL_", "", 11, sql::Form::kPlainText, &P::Kodo, 2);
  return columns;
}

}  // namespace

const sql::Table<HearingHeaderParams>& HearingHeaderTable() {
  using P = HearingHeaderParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CHOCHOBS",
      Concat<sql::Column<P>>({
          EntryKeyColumns<P>("HOC_"),
          {
              {"HOC_EXAM_DT", F::kDate, S::Text(&P::ExamDt)},
              {"HOC_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
              {"HOC_USE_PUR", F::kNumber, S::Text(&P::UsePur)},
              {"HOC_WEAR_EAR", F::kNumber, S::Text(&P::WearEar)},
              {"HOC_SALES_CD", F::kQuotedNumber, S::Text(&P::SalesCd)},
              {"HOC_INT_CD", F::kQuotedNumber, S::Text(&P::IntCd)},
              {"HOC_CLERK_CD", F::kQuotedNumber, S::Text(&P::ClerkCd)},
              {"HOC_ATUKAI_NO", F::kQuotedNumber, S::Text(&P::AtukaiNo)},
              {"HOC_DOCTOR_CD", F::kQuotedNumber, S::Text(&P::DoctorCd)},
              {"HOC_SERIAL_NO_R", F::kPlainText, S::Text(&P::SerialNoR)},
              {"HOC_SERIAL_NO_L", F::kPlainText, S::Text(&P::SerialNoL)},
              {"HOC_KARTE_NO", F::kPlainText, S::Text(&P::KarteNo)},
              {"HOC_GUARANTEE_PERIOD", F::kDate, S::Text(&P::HoshoKigen)},
              {"HOC_REMARKS1", F::kText, S::Text(&P::Remarks1)},
              {"HOC_REMARKS2", F::kText, S::Text(&P::Remarks2)},
              {"HOC_REMARKS3", F::kText, S::Text(&P::Remarks3)},
          },
          ReserveColumns<P>("HOC_"),
      }),
  };
  return table;
}

const std::vector<sql::Param<HearingHeaderParams>>& HearingHeaderParamList() {
  using P = HearingHeaderParams;
  static const auto params = Concat<sql::Param<P>>({
      EntryKeyParams<P>(),
      Required<P>({{"ExamDt", &P::ExamDt},
                   {"DenpyoNo", &P::DenpyoNo},
                   {"UsePur", &P::UsePur},
                   {"WearEar", &P::WearEar},
                   {"SalesCd", &P::SalesCd},
                   {"IntCd", &P::IntCd},
                   {"ClerkCd", &P::ClerkCd},
                   {"AtukaiNo", &P::AtukaiNo},
                   {"DoctorCd", &P::DoctorCd},
                   {"SerialNoR", &P::SerialNoR},
                   {"SerialNoL", &P::SerialNoL},
                   {"KarteNo", &P::KarteNo},
                   {"HoshoKigen", &P::HoshoKigen},
                   {"Remarks1", &P::Remarks1},
                   {"Remarks2", &P::Remarks2},
                   {"Remarks3", &P::Remarks3}}),
      ReserveParams<P>(),
  });
  return params;
}

// The 44 measurement elements are rendered Kido(i, n) then Kodo(i, n), n
// inside i, and written back into the caller's arrays; a missing subscript
// fails the call and leaves the elements after it as they were.
std::vector<size_t> MeasurementRenderOrder(const sql::Table<HearingDetailParams>& table) {
  const size_t first = sql::ColumnIndex(table, "HOCD_KIDOR_1");
  const size_t last = sql::ColumnIndex(table, "HOCD_KODOL_11");
  std::vector<size_t> order;
  for (size_t c = 0; c < first; ++c) order.push_back(c);
  for (const char* side : {"R_", "L_"}) {
    for (int n = 1; n <= 11; ++n) {
      const std::string point = side + std::to_string(n);
      order.push_back(sql::ColumnIndex(table, "HOCD_KIDO" + point));
      order.push_back(sql::ColumnIndex(table, "HOCD_KODO" + point));
    }
  }
  for (size_t c = last + 1; c < table.columns.size(); ++c) order.push_back(c);
  return order;
}

const sql::Table<HearingDetailParams>& HearingDetailTable() {
  using P = HearingDetailParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = [] {
    sql::Table<P> t = {
        "CHOCHODTL",
        Concat<sql::Column<P>>({
            EntryKeyColumns<P>("HOCD_"),
            {
                {"HOCD_KIND1", F::kKey, S::Text(&P::Kind)},
                {"HOCD_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
            },
            MeasurementColumns(),
            ReserveColumns<P>("HOCD_"),
        }),
    };
    t.render_order = MeasurementRenderOrder(t);
    return t;
  }();
  return table;
}

// ExamDt is accepted and written nowhere: the detail has no date column.
const std::vector<sql::Param<HearingDetailParams>>& HearingDetailParamList() {
  using P = HearingDetailParams;
  using S = sql::Source<P>;
  static const auto params = Concat<sql::Param<P>>({
      EntryKeyParams<P>(),
      Required<P>({{"Kind", &P::Kind}, {"ExamDt", &P::ExamDt}, {"DenpyoNo", &P::DenpyoNo}}),
      {{"Kido", S::Array(&P::Kido), false}, {"Kodo", S::Array(&P::Kodo), false}},
      ReserveParams<P>(),
  });
  return params;
}

// SetUriageData: a sales line, table CSALE.
const sql::Table<SalesLineParams>& SalesLineTable() {
  using P = SalesLineParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CSALE",
      {
          {"CSALE_STORE_NO", F::kQuotedUnchanged, S::Text(&P::StoreCd)},
          {"CSALE_UNIQUE_KEY", F::kKey, S::Text(&P::UniqueKey)},
          {"CSALE_KIND", F::kInteger, S::Number(&P::Kind)},
          {"CSALE_HISTORY_NO", F::kInteger, S::Number(&P::HistoryNo)},
          {"CSALE_LINE_NO", F::kInteger, S::Number(&P::LineNo)},
          {"CSALE_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
          {"CSALE_SALE_DT", F::kDate, S::Text(&P::SaleDate)},
          {"CSALE_INT_CD", F::kQuotedNumber, S::Text(&P::IntCd)},
          {"CSALE_ATUKAI_NO", F::kQuotedNumber, S::Text(&P::ToriStoreCd)},
          {"CSALE_CLERK_CD", F::kQuotedNumber, S::Text(&P::ClerkCd)},
          {"CSALE_GOODS_KBN", F::kNumber, S::Text(&P::GoodsKbn)},
          {"CSALE_GOODS_NM", F::kText, S::Text(&P::GoodsName)},
          {"CSALE_GOODS_CD", F::kQuotedNumber, S::Text(&P::GoodsCd)},
          {"CSALE_MAKER", F::kPlainText, S::Text(&P::Maker)},
          {"CSALE_CLASS", F::kWholeNumber, S::Text(&P::Class)},
          {"CSALE_GOODS_QTY", F::kWholeNumber, S::Text(&P::GoodsQty)},
          {"CSALE_TANKA", F::kWholeNumber, S::Text(&P::Tanka)},
          {"CSALE_AMT", F::kWholeNumber, S::Text(&P::Amt)},
          {"CSALE_SALE_DCNT", F::kWholeNumber, S::Text(&P::SaleDiscount)},
          {"CSALE_S_TTL", F::kWholeNumber, S::Text(&P::SubTotal)},
          {"CSALE_TAX", F::kWholeNumber, S::Text(&P::Tax)},
          {"CSALE_RECP_DCNT", F::kWholeNumber, S::Text(&P::ReceptDiscount)},
          {"CSALE_TOTAL", F::kWholeNumber, S::Text(&P::Total)},
          {"CSALE_RL_KBN", F::kSideCode, S::Text(&P::RL_Kbn)},
          {"CSALE_DUMMY", F::kReserve, S::Text(&P::Dummy)},
          {"CSALE_UPD_DATETIME", F::kTimestamp, S::None()},
          {"CSALE_TRANSE_FLG", F::kInteger, S::Number(&P::TranseFlg)},
      },
  };
  return table;
}

const std::vector<sql::Param<SalesLineParams>>& SalesLineParamList() {
  using P = SalesLineParams;
  using S = sql::Source<P>;
  static const auto params = Concat<sql::Param<P>>({
      Required<P>({{"StoreCd", &P::StoreCd}, {"UniqueKey", &P::UniqueKey}}),
      {{"Kind", S::Number(&P::Kind), false},
       {"HistoryNo", S::Number(&P::HistoryNo), false},
       {"LineNo", S::Number(&P::LineNo), false}},
      Optional<P>({{"DenpyoNo", &P::DenpyoNo},
                   {"SaleDate", &P::SaleDate},
                   {"IntCd", &P::IntCd},
                   {"ToriStoreCd", &P::ToriStoreCd},
                   {"ClerkCd", &P::ClerkCd},
                   {"GoodsKbn", &P::GoodsKbn},
                   {"GoodsName", &P::GoodsName},
                   {"GoodsCd", &P::GoodsCd},
                   {"Maker", &P::Maker},
                   {"Class", &P::Class},
                   {"GoodsQty", &P::GoodsQty},
                   {"Tanka", &P::Tanka},
                   {"Amt", &P::Amt},
                   {"SaleDiscount", &P::SaleDiscount},
                   {"SubTotal", &P::SubTotal},
                   {"Tax", &P::Tax},
                   {"ReceptDiscount", &P::ReceptDiscount},
                   {"Total", &P::Total},
                   {"RL_Kbn", &P::RL_Kbn},
                   {"Dummy", &P::Dummy}}),
      {{"TranseFlg", S::Number(&P::TranseFlg), true}},
  });
  return params;
}

// SetSYOKANData: a customer comment, table CSYOKN.
const sql::Table<CommentParams>& CommentTable() {
  using S = sql::Source<CommentParams>;
  using F = sql::Form;
  using P = CommentParams;
  static const sql::Table<P> table{"CSYOKN",
                                   {
                                       {"CMNT_STORE_NO", F::kQuotedUnchanged, S::Text(&P::StoreCd)},
                                       {"CMNT_UNIQUE_KEY", F::kKey, S::Text(&P::UniqueKey)},
                                       {"CMNT_COMMENT_1", F::kText, S::Text(&P::Comment1)},
                                       {"CMNT_UPD_DATE", F::kTimestamp, S::None()},
                                       {"CMNT_TRANCE_FLG", F::kNumber, S::Text(&P::TranseFlg)},
                                   }};
  return table;
}

const std::vector<sql::Param<CommentParams>>& CommentParamList() {
  using P = CommentParams;
  static const auto params = TextParams<P>({{"StoreCd", &P::StoreCd},
                                            {"UniqueKey", &P::UniqueKey},
                                            {"Comment1", &P::Comment1},
                                            {"TranseFlg", &P::TranseFlg}},
                                           3);
  return params;
}

}  // namespace kvt710::catalogue
