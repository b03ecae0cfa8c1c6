// SetMENTEData: a maintenance transaction, table CMENTE_T.
#include "batch/writer_support.h"
#include "catalogue/catalogue.h"
#include "platform/automation/registry.h"
#include "platform/clock.h"
#include "platform/text/number.h"

namespace kvt710 {
namespace {

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

int32_t KVT710C3::SetMENTEData(const MenteDataParams& params) {
  // A transaction that comes from the store named by parameter 7050 is not written.
  const std::string skipped_store = SystemParameter7050();
  if (skipped_store == params.MotoStore && text::IsNumeric(skipped_store)) return 0;

  return Guarded("SetMENTEData", ErrorList::kOwn, [&] {
    StatementQueue& queue = EnsureQueue();
    const DateTime now = LocalNow();
    const sql::Literal store =
        sql::RenderLiteral(F::kQuotedUnchanged, params.StoreCd, "StoreCd", now);
    const sql::Literal ht_kbn = sql::RenderLiteral(F::kKey, params.HtKbn, "HtKbn", now);
    const sql::Literal key = sql::RenderLiteral(F::kKey, params.UniqueKey, "UniqueKey", now);
    // The row key is store, HT kind and customer: the first three columns.
    static const RowCountQuery by_key(catalogue::Mente());
    const int64_t count = CountOnOwnConnection(by_key.query, {{by_key.conditions[0], store},
                                                              {by_key.conditions[1], ht_kbn},
                                                              {by_key.conditions[2], key}});

    sql::Row rendered;
    sql::RenderRow(catalogue::MenteTable(), params, now, rendered);
    const std::vector<sql::Value>& row = rendered.values;
    if (count > 0) {
      const auto key_columns = static_cast<std::ptrdiff_t>(by_key.conditions.size());
      const std::vector<sql::Value> where(row.begin(), row.begin() + key_columns);
      queue.Append(sql::BuildUpdate(catalogue::MenteTable().name, row, where));
    } else {
      queue.Append(sql::BuildInsert(catalogue::MenteTable().name, row));
    }
  });
}

}  // namespace kvt710
