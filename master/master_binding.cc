// The late-bound members of the customer master writers.
#include "batch/writer_support.h"

namespace kvt710 {

void KVT710C3::AddMasterMembers(std::vector<Member>& /*members*/) {}

}  // namespace kvt710
