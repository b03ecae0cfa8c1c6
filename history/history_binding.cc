// The late-bound members of the history writers.
#include "batch/writer_support.h"
#include "history/history_tables.h"

namespace kvt710 {

void KVT710C3::AddHistoryMembers(std::vector<Member>& members) {
  members.push_back(BindWriter("SetSYOKANData", CommentParamList(), &KVT710C3::SetSYOKANData));
}

}  // namespace kvt710
