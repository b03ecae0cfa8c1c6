// libFuzzer target: one family of the batch object's writers (KVT710_FUZZ_FAMILY,
// set by the build), each input on a private SQLite database (see injection_harness.h).
#include "injection_harness.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kvt710;
  static fuzz::Environment env = [] {
    const std::filesystem::path dir = fuzz::PrivateShop();
    fuzz::Environment e{CreateObject("KVT710.KVT710C3"), db::Connection::Create(), dir, {}, {}};
    e.caller->Open("Provider=SQLite;Data Source=" + (dir / "shop.db").string());
    fuzz::SeedRows(*e.caller);
    e.batch->PutRef("DBCon", Variant::Object(e.caller));
    return e;
  }();
  fuzz::Run(env, fuzz::Family::KVT710_FUZZ_FAMILY, data, size);
  return 0;
}
