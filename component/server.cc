#include "component/server.h"

#include "batch/KVT710C3.h"
#include "deletion/KVT710C2.h"
#include "fieldlist/KVT710C1.h"
#include "platform/db/connection.h"
#include "platform/sibling/prw520.h"

namespace kvt710 {

void RegisterServer(ObjectRegistry& registry) {
  registry.Register("KVT710.KVT710C1", [] { return KVT710C1::Create(); });
  registry.Register("KVT710.KVT710C2", [] { return KVT710C2::Create(); });
  registry.Register("KVT710.KVT710C3", [] { return KVT710C3::Create(); });
  registry.Register("PRW520.PRW520C1", CreateErrorReporter);
  registry.Register("PRW520.PRW520C2", CreateSystemParameters);
  registry.Register("ADODB.Connection",
                    []() -> std::shared_ptr<Dispatch> { return db::Connection::Create(); });
}

const char* LibraryVersion() {
  return KVT710_VERSION;
}

}  // namespace kvt710
