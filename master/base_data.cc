// SetBaseData: one customer's complete master row, table CBASE.
#include <optional>

#include "batch/writer_support.h"
#include "catalogue/catalogue.h"
#include "platform/clock.h"
#include "platform/text/ascii.h"
#include "platform/text/number.h"
#include "platform/text/utf8.h"

namespace kvt710 {
namespace {

using P = BaseDataParams;
using F = sql::Form;

// Where the computed literals go in a rendered row.
struct ComputedColumns {
  size_t unique_key, telkey, family_key, family_kbn, data_flg, best_link;
};

const ComputedColumns& Computed() {
  static const ComputedColumns columns = [] {
    const sql::Table<P>& t = catalogue::BaseTable();
    return ComputedColumns{sql::ColumnIndex(t, catalogue::Base().customer_key),
                           sql::ColumnIndex(t, "CUBS_TELKEY"),
                           sql::ColumnIndex(t, "CUBS_FAMILY_KEY"),
                           sql::ColumnIndex(t, "CUBS_FAMILY_KBN"),
                           sql::ColumnIndex(t, "CUBS_DATA_FLG"),
                           sql::ColumnIndex(t, "CUBS_BEST_LINK")};
  }();
  return columns;
}

// The telephone key: the last four characters of the trimmed home number,
// quoted, when they are a number that is not negative; otherwise Null.
// A numeric piece that does not fit 32 bits (9E99) is an error.
sql::Literal TelephoneKey(std::string_view home_tel, const DateTime& now) {
  if (!text::IsValidText(home_tel))
    throw Error(err::kInvalidCall, "HomeTel is not valid text (UTF-8 without NUL)");
  const std::string_view trimmed = text::Trim(home_tel);
  size_t start = trimmed.size();
  int characters = 0;
  while (start > 0 && characters < 4) {
    --start;
    while (start > 0 && (static_cast<unsigned char>(trimmed[start]) & 0xC0) == 0x80) --start;
    ++characters;
  }
  const std::string_view piece = trimmed.substr(start);
  const sql::Literal null = sql::RenderLiteral(F::kText, "", "HomeTel", now);
  if (!text::IsNumeric(piece)) return null;
  const std::optional<int32_t> value = text::ToLongHalfEven(piece);
  if (!value) throw Error(err::kOverflow, "HomeTel: the telephone key overflows");
  if (*value < 0 || characters != 4) return null;
  return sql::RenderLiteral(F::kQuotedUnchanged, piece, "HomeTel", now);
}

}  // namespace

int32_t KVT710C3::SetBaseData(const BaseDataParams& params) {
  return Guarded("SetBaseData", ErrorList::kOwn, [&] {
    StatementQueue& queue = EnsureQueue();
    const DateTime now = LocalNow();
    const sql::Literal key = sql::RenderLiteral(F::kKey, params.UniqueKey, "UniqueKey", now);
    static const RowCountQuery by_key(catalogue::Base());
    const int64_t count = CountOnOwnConnection(by_key.query, {{by_key.conditions[0], key}});

    // The computed values come first: they fail before any array element is rendered.
    const sql::Literal telkey = TelephoneKey(params.HomeTel, now);
    const bool member = text::Trim(params.FamilyKbn) == "2";
    const sql::Literal family_key =
        member ? sql::RenderLiteral(F::kKey, params.FamilyKey, "FamilyKey", now) : key;
    const sql::Literal family_kbn =
        sql::RenderLiteral(F::kQuotedUnchanged, member ? "2" : "1", "FamilyKbn", now);
    const sql::Literal data_flg = sql::RenderLiteral(F::kQuotedUnchanged, "0", "DataFlg", now);
    const sql::Literal best_link =
        sql::RenderLiteral(F::kText, text::Trim(params.Bestkey).empty() ? "" : "1", "Bestkey", now);

    // The arrays are the caller's and are rendered in place.
    sql::Row rendered;
    sql::RenderRow(catalogue::BaseTable(), params, now, rendered);
    std::vector<sql::Value>& row = rendered.values;
    const ComputedColumns& at = Computed();
    row[at.telkey].Set(telkey);
    row[at.family_key].Set(family_key);
    row[at.family_kbn].Set(family_kbn);
    row[at.data_flg].Set(data_flg);
    row[at.best_link].Set(best_link);

    if (count > 0 && syori_kbn_ != 0) {
      const std::vector<sql::Value> where = {row[at.unique_key]};
      queue.Append(
          sql::BuildUpdate(catalogue::BaseTable().name, row, where, catalogue::BaseUpdateOrder()));
    } else {
      queue.Append(sql::BuildInsert(catalogue::BaseTable().name, row));
    }
  });
}

}  // namespace kvt710
