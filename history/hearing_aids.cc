// SetH_BaseData and SetH_DTLData: hearing aid headers (CHOCHOBS) and their
// measurement details (CHOCHODTL).
#include "history/history_tables.h"
#include "history/history_writer.h"

namespace kvt710 {
namespace {

// The ten reserve texts, the two flags and the time of writing that end
// both hearing aid tables; all optional.
template <class P>
std::array<std::string P::*, 12> ReserveMembers() {
  return {&P::Yobi1, &P::Yobi2, &P::Yobi3, &P::Yobi4,  &P::Yobi5, &P::Yobi6,
          &P::Yobi7, &P::Yobi8, &P::Yobi9, &P::Yobi10, &P::Flg1,  &P::Flg2};
}
template <class P>
history::Columns<P> ReserveColumns(const std::string& prefix) {
  history::Columns<P> columns;
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
history::Params<P> ReserveParams() {
  history::Params<P> params;
  const auto members = ReserveMembers<P>();
  for (size_t i = 0; i < members.size(); ++i) {
    const std::string name =
        i < 10 ? "Yobi" + std::to_string(i + 1) : "Flg" + std::to_string(i - 9);
    params.push_back({name, sql::Source<P>::Text(members[i]), true});
  }
  return params;
}

// Kido(i, n) and Kodo(i, n): side i (1 = R, 2 = L), measuring point n.
history::Columns<HearingDetailParams> MeasurementColumns() {
  using P = HearingDetailParams;
  history::Columns<P> columns;
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
      history::Concat<sql::Column<P>>({
          history::EntryKeyColumns<P>("HOC_"),
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
  static const auto params = history::Concat<sql::Param<P>>({
      history::EntryKeyParams<P>(),
      history::Required<P>({{"ExamDt", &P::ExamDt},
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
        history::Concat<sql::Column<P>>({
            history::EntryKeyColumns<P>("HOCD_"),
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
  static const auto params = history::Concat<sql::Param<P>>({
      history::EntryKeyParams<P>(),
      history::Required<P>(
          {{"Kind", &P::Kind}, {"ExamDt", &P::ExamDt}, {"DenpyoNo", &P::DenpyoNo}}),
      {{"Kido", S::Array(&P::Kido), false}, {"Kodo", S::Array(&P::Kodo), false}},
      ReserveParams<P>(),
  });
  return params;
}

int32_t KVT710C3::SetH_BaseData(const HearingHeaderParams& p) {
  return Guarded("SetH_BaseData", ErrorList::kOwn,
                 [&] { history::QueueInsert(EnsureQueue(), HearingHeaderTable(), p); });
}

int32_t KVT710C3::SetH_DTLData(const HearingDetailParams& p) {
  return Guarded("SetH_DTLData", ErrorList::kOwn,
                 [&] { history::QueueInsert(EnsureQueue(), HearingDetailTable(), p); });
}

}  // namespace kvt710
