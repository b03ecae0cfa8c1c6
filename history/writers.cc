// The history writers: each renders its row from the catalogue's table and
// queues one INSERT.
#include "batch/statement_queue.h"
#include "batch/writer_support.h"
#include "catalogue/catalogue.h"
#include "platform/clock.h"
#include "platform/text/ascii.h"

namespace kvt710 {
namespace {

// Renders `params` into one INSERT of `table` and appends it; nothing is
// appended when a value is refused. Array parameters are the caller's own
// arrays, so their elements end up rendered in place.
template <class P>
void QueueInsert(StatementQueue& queue, const sql::Table<P>& table, const P& params) {
  sql::Row row;
  sql::RenderRow(table, params, LocalNow(), row);
  queue.Append(sql::BuildInsert(table.name, row.values));
}
}  // namespace

// SetG_BaseData and SetG_DTLData: glasses prescription headers (CGLASBS) and
// their measurement details (CGLASDTL).
int32_t KVT710C3::SetG_BaseData(const GlassesHeaderParams& p) {
  return Guarded("SetG_BaseData", ErrorList::kOwn,
                 [&] { QueueInsert(EnsureQueue(), catalogue::GlassesHeaderTable(), p); });
}

int32_t KVT710C3::SetG_DTLData(const GlassesDetailParams& p) {
  return Guarded("SetG_DTLData", ErrorList::kOwn,
                 [&] { QueueInsert(EnsureQueue(), catalogue::GlassesDetailTable(), p); });
}

// SetC_BaseData and SetC_DTLData: contact lens headers (CCNTBS) and their
// lens details (CCNTDTL).
int32_t KVT710C3::SetC_BaseData(const ContactHeaderParams& p) {
  return Guarded("SetC_BaseData", ErrorList::kOwn,
                 [&] { QueueInsert(EnsureQueue(), catalogue::ContactHeaderTable(), p); });
}

int32_t KVT710C3::SetC_DTLData(const ContactDetailParams& p) {
  return Guarded("SetC_DTLData", ErrorList::kOwn,
                 [&] { QueueInsert(EnsureQueue(), catalogue::ContactDetailTable(), p); });
}

// SetH_BaseData and SetH_DTLData: hearing aid headers (CHOCHOBS) and their
// measurement details (CHOCHODTL).
int32_t KVT710C3::SetH_BaseData(const HearingHeaderParams& p) {
  return Guarded("SetH_BaseData", ErrorList::kOwn,
                 [&] { QueueInsert(EnsureQueue(), catalogue::HearingHeaderTable(), p); });
}

int32_t KVT710C3::SetH_DTLData(const HearingDetailParams& p) {
  return Guarded("SetH_DTLData", ErrorList::kOwn,
                 [&] { QueueInsert(EnsureQueue(), catalogue::HearingDetailTable(), p); });
}

// SetUriageData: a sales line, table CSALE.
int32_t KVT710C3::SetUriageData(const SalesLineParams& p) {
  return Guarded("SetUriageData", ErrorList::kOwn,
                 [&] { QueueInsert(EnsureQueue(), catalogue::SalesLineTable(), p); });
}

// SetSYOKANData: a customer comment, table CSYOKN.
int32_t KVT710C3::SetSYOKANData(const CommentParams& params) {
  return Guarded("SetSYOKANData", ErrorList::kOwn, [&] {
    StatementQueue& queue = EnsureQueue();
    if (text::IsBlank(params.Comment1)) return;  // a blank comment writes no row
    QueueInsert(queue, catalogue::CommentTable(), params);
  });
}

}  // namespace kvt710
