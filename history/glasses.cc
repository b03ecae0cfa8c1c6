// SetG_BaseData and SetG_DTLData: glasses prescription headers (CGLASBS) and
// their measurement details (CGLASDTL).
#include "history/history_tables.h"
#include "history/history_writer.h"

namespace kvt710 {

const sql::Table<GlassesHeaderParams>& GlassesHeaderTable() {
  using P = GlassesHeaderParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CGLASBS",
      history::Concat<sql::Column<P>>({
          history::EntryKeyColumns<P>("GLS_"),
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
          history::DegreeColumns<P>("GLS_"),
          history::SpareColumns<P>("GLS_"),
      }),
  };
  return table;
}

// The host passes each lens attribute for both lenses in turn, while the
// columns list all attributes of lens 1 and then those of lens 2.
const std::vector<sql::Param<GlassesHeaderParams>>& GlassesHeaderParamList() {
  using P = GlassesHeaderParams;
  static const auto params = history::Concat<sql::Param<P>>({
      history::EntryKeyParams<P>(),
      history::Required<P>({{"ExamDt", &P::ExamDt},
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
      history::DegreeParams<P>(),
      history::SpareParams<P>(),
  });
  return params;
}

const sql::Table<GlassesDetailParams>& GlassesDetailTable() {
  using P = GlassesDetailParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CGLASDTL",
      history::Concat<sql::Column<P>>({
          history::EntryKeyColumns<P>("GLS_"),
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
  static const auto params = history::Concat<sql::Param<P>>({
      history::EntryKeyParams<P>(),
      history::Required<P>({{"Kind", &P::Kind},
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
      history::Optional<P>({{"TranseFlg", &P::TranseFlg}}),
  });
  return params;
}

int32_t KVT710C3::SetG_BaseData(const GlassesHeaderParams& p) {
  return Guarded("SetG_BaseData", ErrorList::kOwn,
                 [&] { history::QueueInsert(EnsureQueue(), GlassesHeaderTable(), p); });
}

int32_t KVT710C3::SetG_DTLData(const GlassesDetailParams& p) {
  return Guarded("SetG_DTLData", ErrorList::kOwn,
                 [&] { history::QueueInsert(EnsureQueue(), GlassesDetailTable(), p); });
}

}  // namespace kvt710
