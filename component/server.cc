#include "component/server.h"

#include "batch/KVT710C3.h"
#include "deletion/KVT710C2.h"
#include "fieldlist/KVT710C1.h"

namespace kvt710 {

void RegisterServer(ObjectRegistry& registry) {
  registry.Register("KVT710.KVT710C1", [] { return KVT710C1::Create(); });
  registry.Register("KVT710.KVT710C2", [] { return KVT710C2::Create(); });
  registry.Register("KVT710.KVT710C3", [] { return KVT710C3::Create(); });
}

const char* LibraryVersion() {
  return KVT710_VERSION;
}

}  // namespace kvt710
