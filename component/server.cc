#include "component/server.h"

#include "batch/KVT710C3.h"

namespace kvt710 {

void RegisterServer(ObjectRegistry& registry) {
  registry.Register("KVT710.KVT710C3", [] { return KVT710C3::Create(); });
}

}  // namespace kvt710
