// The late-bound members of the history writers.
#include "batch/writer_support.h"
#include "history/history_tables.h"

namespace kvt710 {

void KVT710C3::AddHistoryMembers(std::vector<Member>& members, std::vector<MethodInfo>& methods) {
  AddWriter(members, methods, "SetG_BaseData", GlassesHeaderTable(), GlassesHeaderParamList(),
            &KVT710C3::SetG_BaseData);
  AddWriter(members, methods, "SetG_DTLData", GlassesDetailTable(), GlassesDetailParamList(),
            &KVT710C3::SetG_DTLData);
  AddWriter(members, methods, "SetC_BaseData", ContactHeaderTable(), ContactHeaderParamList(),
            &KVT710C3::SetC_BaseData);
  AddWriter(members, methods, "SetC_DTLData", ContactDetailTable(), ContactDetailParamList(),
            &KVT710C3::SetC_DTLData);
  AddWriter(members, methods, "SetH_BaseData", HearingHeaderTable(), HearingHeaderParamList(),
            &KVT710C3::SetH_BaseData);
  AddWriter(members, methods, "SetH_DTLData", HearingDetailTable(), HearingDetailParamList(),
            &KVT710C3::SetH_DTLData);
  AddWriter(members, methods, "SetUriageData", SalesLineTable(), SalesLineParamList(),
            &KVT710C3::SetUriageData);
  AddWriter(members, methods, "SetSYOKANData", CommentTable(), CommentParamList(),
            &KVT710C3::SetSYOKANData);
}

}  // namespace kvt710
