// SetC_BaseData and SetC_DTLData: contact lens headers (CCNTBS) and their
// lens details (CCNTDTL).
#include "history/history_tables.h"
#include "history/history_writer.h"

namespace kvt710 {

const sql::Table<ContactHeaderParams>& ContactHeaderTable() {
  using P = ContactHeaderParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CCNTBS",
      history::Concat<sql::Column<P>>({
          history::EntryKeyColumns<P>("CNT_"),
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
          history::DegreeColumns<P>("CNT_"),
          history::SpareColumns<P>("CNT_"),
      }),
  };
  return table;
}

const std::vector<sql::Param<ContactHeaderParams>>& ContactHeaderParamList() {
  using P = ContactHeaderParams;
  static const auto params = history::Concat<sql::Param<P>>({
      history::EntryKeyParams<P>(),
      history::Required<P>(
          {{"ExamDt", &P::ExamDt},       {"DenpyoNo", &P::DenpyoNo},   {"UsePur", &P::UsePur},
           {"DoctorCd", &P::DoctorCd},   {"IntCd", &P::IntCd},         {"ClerkCd", &P::ClerkCd},
           {"AtukaiNo", &P::AtukaiNo},   {"Naked_S_1", &P::Naked_S_1}, {"Naked_S_2", &P::Naked_S_2},
           {"Naked_S_3", &P::Naked_S_3}, {"Vk_1", &P::Vk_1},           {"Hk_1", &P::Hk_1},
           {"Krt_Ax_1", &P::Krt_Ax_1},   {"Vk_2", &P::Vk_2},           {"Hk_2", &P::Hk_2},
           {"Krt_Ax_2", &P::Krt_Ax_2},   {"SyoriKbn1", &P::SyoriKbn1}, {"SyoriKbn2", &P::SyoriKbn2},
           {"Allergy", &P::Allergy},     {"UseYear", &P::UseYear},     {"Time", &P::Time},
           {"Remarks", &P::Remarks}}),
      history::DegreeParams<P>(),
      history::SpareParams<P>(),
  });
  return params;
}

const sql::Table<ContactDetailParams>& ContactDetailTable() {
  using P = ContactDetailParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CCNTDTL",
      history::Concat<sql::Column<P>>({
          history::EntryKeyColumns<P>("CNT_"),
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
          history::SpareColumns<P>("CNT_"),
      }),
  };
  return table;
}

// ExamDt is accepted and written nowhere: the detail has no date column.
const std::vector<sql::Param<ContactDetailParams>>& ContactDetailParamList() {
  using P = ContactDetailParams;
  static const auto params = history::Concat<sql::Param<P>>({
      history::EntryKeyParams<P>(),
      history::Required<P>({{"Kind", &P::Kind},
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
      history::SpareParams<P>(),
  });
  return params;
}

int32_t KVT710C3::SetC_BaseData(const ContactHeaderParams& p) {
  return Guarded("SetC_BaseData", ErrorList::kOwn,
                 [&] { history::QueueInsert(EnsureQueue(), ContactHeaderTable(), p); });
}

int32_t KVT710C3::SetC_DTLData(const ContactDetailParams& p) {
  return Guarded("SetC_DTLData", ErrorList::kOwn,
                 [&] { history::QueueInsert(EnsureQueue(), ContactDetailTable(), p); });
}

}  // namespace kvt710
