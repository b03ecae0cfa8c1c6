// The process-wide object registry with the platform's own creatable
// objects. It lives above automation/ because it names objects of db/ and
// sibling/.
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/sibling/prw520.h"

namespace kvt710 {

ObjectRegistry& ObjectRegistry::Default() {
  static ObjectRegistry* registry = [] {
    auto* r = new ObjectRegistry();
    r->Register("PRW520.PRW520C1", CreateErrorReporter);
    r->Register("PRW520.PRW520C2", CreateSystemParameters);
    r->Register("ADODB.Connection",
                []() -> std::shared_ptr<Dispatch> { return db::Connection::Create(); });
    return r;
  }();
  return *registry;
}

}  // namespace kvt710
