// The late-bound members of the history writers.
#include "batch/writer_support.h"
#include "history/history_tables.h"

namespace kvt710 {

void KVT710C3::AddHistoryMembers(std::vector<Member>& members) {
  members.push_back(
      BindWriter("SetG_BaseData", GlassesHeaderParamList(), &KVT710C3::SetG_BaseData));
  members.push_back(BindWriter("SetG_DTLData", GlassesDetailParamList(), &KVT710C3::SetG_DTLData));
  members.push_back(
      BindWriter("SetC_BaseData", ContactHeaderParamList(), &KVT710C3::SetC_BaseData));
  members.push_back(BindWriter("SetC_DTLData", ContactDetailParamList(), &KVT710C3::SetC_DTLData));
  members.push_back(
      BindWriter("SetH_BaseData", HearingHeaderParamList(), &KVT710C3::SetH_BaseData));
  members.push_back(BindWriter("SetH_DTLData", HearingDetailParamList(), &KVT710C3::SetH_DTLData));
  members.push_back(BindWriter("SetUriageData", SalesLineParamList(), &KVT710C3::SetUriageData));
  members.push_back(BindWriter("SetSYOKANData", CommentParamList(), &KVT710C3::SetSYOKANData));
}

}  // namespace kvt710
