// SetSYOKANData: a customer comment, table CSYOKN.
#include "history/history_tables.h"
#include "history/history_writer.h"
#include "platform/text/ascii.h"

namespace kvt710 {

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

int32_t KVT710C3::SetSYOKANData(const CommentParams& params) {
  return Guarded("SetSYOKANData", ErrorList::kOwn, [&] {
    StatementQueue& queue = EnsureQueue();
    if (text::IsBlank(params.Comment1)) return;  // a blank comment writes no row
    history::QueueInsert(queue, CommentTable(), params);
  });
}

}  // namespace kvt710
