// The late-bound members of the customer master writers.
#include "batch/writer_support.h"
#include "catalogue/catalogue.h"

namespace kvt710 {

void KVT710C3::AddMasterMembers(std::vector<Member>& members, std::vector<MethodInfo>& methods) {
  AddWriter(members, methods, "SetBaseData", catalogue::BaseTable(), catalogue::BaseParamList(),
            &KVT710C3::SetBaseData);
  AddWriter(members, methods, "SetMENTEData", catalogue::MenteTable(), catalogue::MenteParamList(),
            &KVT710C3::SetMENTEData);
  members.push_back({"FamilyCnt_Update",
                     InvokeKind::kMethod,
                     [](KVT710C3& self, Args& args) {
                       return Variant::Long(self.FamilyCnt_Update(args.String(0)));
                     },
                     {"UniqueKey"}});
  DescribeLastAsTextMethod(members, methods);
  members.push_back({"FamilyUpdate",
                     InvokeKind::kMethod,
                     [](KVT710C3& self, Args& args) {
                       return Variant::Long(self.FamilyUpdate(args.String(0), args.String(1)));
                     },
                     {"DaihyoKey", "KazokuKey"}});
  DescribeLastAsTextMethod(members, methods);
}

}  // namespace kvt710
