// SetMENTEData: a maintenance transaction, table CMENTE_T.
#include "batch/writer_support.h"
#include "master/master_tables.h"
#include "platform/automation/registry.h"
#include "platform/clock.h"

namespace kvt710 {
namespace {

using P = MenteDataParams;
using S = sql::Source<P>;
using F = sql::Form;

// The store code of system parameter 7050, asked of a fresh system
// parameter object; empty when the sibling component has no such
// parameter. Its failures are not caught here.
std::string SystemParameter7050() {
  std::shared_ptr<Dispatch> parameters = CreateObject("PRW520.PRW520C2");
  if (parameters->Call("GetSysParm", {Variant::Integer(7050)}).ToLong() != 0) return {};
  return parameters->Get("NAIYO").ToString();
}

}  // namespace

const sql::Table<MenteDataParams>& MenteTable() {
  static const sql::Table<P> table{
      "CMENTE_T",
      {
          {"MTRN_STORE_NO", F::kQuotedUnchanged, S::Text(&P::StoreCd)},
          {"MTRN_HT_KBN", F::kKey, S::Text(&P::HtKbn)},
          {"MTRN_UNIQUE_KEY", F::kKey, S::Text(&P::UniqueKey)},
          {"MTRN_KBN", F::kNumber, S::Text(&P::KBN)},
          {"MTRN_MOTO_STORE", F::kQuotedNumber, S::Text(&P::MotoStore), true},
          {"MTRN_KANA_MEI", F::kText, S::Text(&P::KanaMei)},
          {"MTRN_CUSTOM_MEI", F::kPlainText, S::Text(&P::CustomMei)},
          {"MTRN_SEX", F::kNumber, S::Text(&P::Sex)},
          {"MTRN_BIRTH_DT", F::kDate, S::Text(&P::BirthDt)},
          {"MTRN_HOME_TEL", F::kPlainText, S::Text(&P::HomeTel)},
          {"MTRN_NEWBST_COMING", F::kDate, S::Text(&P::NewbstComing)},
          {"MTRN_CLERK_CD", F::kPlainText, S::Text(&P::ClerkCd)},
          {"MTRN_ZYOTAI_KBN", F::kNumber, S::Text(&P::ZyotaiKbn), true},
          {"MTRN_UPDATE", F::kTimestamp, S::None()},
          {"MTRN_TRANSE_FLG", F::kNumber, S::Text(&P::TranseFlg)},
          {"MTRN_UPD_FLG", F::kNumber, S::Text(&P::UpdFlg)},
      }};
  return table;
}

const std::vector<sql::Param<MenteDataParams>>& MenteParamList() {
  static const auto params = TextParams<P>({{"StoreCd", &P::StoreCd},
                                            {"HtKbn", &P::HtKbn},
                                            {"UniqueKey", &P::UniqueKey},
                                            {"KBN", &P::KBN},
                                            {"MotoStore", &P::MotoStore},
                                            {"KanaMei", &P::KanaMei},
                                            {"CustomMei", &P::CustomMei},
                                            {"Sex", &P::Sex},
                                            {"BirthDt", &P::BirthDt},
                                            {"HomeTel", &P::HomeTel},
                                            {"NewbstComing", &P::NewbstComing},
                                            {"ClerkCd", &P::ClerkCd},
                                            {"ZyotaiKbn", &P::ZyotaiKbn},
                                            {"TranseFlg", &P::TranseFlg},
                                            {"UpdFlg", &P::UpdFlg}},
                                           15);
  return params;
}

int32_t KVT710C3::SetMENTEData(const MenteDataParams& params) {
  // A transaction that comes from the store named by parameter 7050 is not written.
  const std::string skipped_store = SystemParameter7050();
  if (skipped_store == params.MotoStore && sql::IsNumeric(skipped_store)) return 0;

  return Guarded("SetMENTEData", ErrorList::kOwn, [&] {
    StatementQueue& queue = EnsureQueue();
    const DateTime now = LocalNow();
    const sql::Literal store =
        sql::RenderLiteral(F::kQuotedUnchanged, params.StoreCd, "StoreCd", now);
    const sql::Literal ht_kbn = sql::RenderLiteral(F::kKey, params.HtKbn, "HtKbn", now);
    const sql::Literal key = sql::RenderLiteral(F::kKey, params.UniqueKey, "UniqueKey", now);
    const int64_t count = CountOnOwnConnection("Select Count(*) As CNT From CMENTE_T",
                                               {{" Where MTRN_STORE_NO=", store},
                                                {" And MTRN_HT_KBN=", ht_kbn},
                                                {" And MTRN_UNIQUE_KEY=", key}});

    sql::Row rendered;
    sql::RenderRow(MenteTable(), params, now, rendered);
    const std::vector<sql::Value>& row = rendered.values;
    if (count > 0) {
      // The row is selected by its three key columns, the first three of the table.
      const std::vector<sql::Value> where(row.begin(), row.begin() + 3);
      queue.Append(sql::BuildUpdate(MenteTable().name, row, where));
    } else {
      queue.Append(sql::BuildInsert(MenteTable().name, row));
    }
  });
}

}  // namespace kvt710
