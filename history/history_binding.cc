// The late-bound members of the history writers.
#include "batch/writer_support.h"
#include "catalogue/catalogue.h"

namespace kvt710 {

void KVT710C3::AddHistoryMembers(std::vector<Member>& members, std::vector<MethodInfo>& methods) {
  AddWriter(members, methods, "SetG_BaseData", catalogue::GlassesHeaderTable(),
            catalogue::GlassesHeaderParamList(), &KVT710C3::SetG_BaseData);
  AddWriter(members, methods, "SetG_DTLData", catalogue::GlassesDetailTable(),
            catalogue::GlassesDetailParamList(), &KVT710C3::SetG_DTLData);
  AddWriter(members, methods, "SetC_BaseData", catalogue::ContactHeaderTable(),
            catalogue::ContactHeaderParamList(), &KVT710C3::SetC_BaseData);
  AddWriter(members, methods, "SetC_DTLData", catalogue::ContactDetailTable(),
            catalogue::ContactDetailParamList(), &KVT710C3::SetC_DTLData);
  AddWriter(members, methods, "SetH_BaseData", catalogue::HearingHeaderTable(),
            catalogue::HearingHeaderParamList(), &KVT710C3::SetH_BaseData);
  AddWriter(members, methods, "SetH_DTLData", catalogue::HearingDetailTable(),
            catalogue::HearingDetailParamList(), &KVT710C3::SetH_DTLData);
  AddWriter(members, methods, "SetUriageData", catalogue::SalesLineTable(),
            catalogue::SalesLineParamList(), &KVT710C3::SetUriageData);
  AddWriter(members, methods, "SetSYOKANData", catalogue::CommentTable(),
            catalogue::CommentParamList(), &KVT710C3::SetSYOKANData);
}

}  // namespace kvt710
