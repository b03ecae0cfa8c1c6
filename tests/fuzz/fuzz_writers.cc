// libFuzzer target: one family of the batch object's writers (KVT710_FUZZ_FAMILY,
// set by the build), each input on a private SQLite database (see injection_harness.h).
#include <stdlib.h>

#include <fstream>

#include "component/server.h"
#include "injection_harness.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kvt710;
  static fuzz::Environment env = [] {
    RegisterServer();
    std::string dir = (std::filesystem::temp_directory_path() / "kvt710-fuzz-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) fuzz::Violation("set-up: no temporary folder");
    static const fuzz::RemovedAtExit removed{dir};
    const std::string database = "Provider=SQLite;Data Source=" + dir + "/shop.db";
    fuzz::Environment e{nullptr, db::Connection::Create(), dir, {}, {}};
    e.caller->Open(database + ";Mode=ReadWriteCreate");
    db::CreateProductSchema(*e.caller);
    fuzz::SeedRows(*e.caller);
    std::ofstream(dir + "/settings.ini") << "[QTMS\\Common]\narea=1\nDBPARMC=" << database << "\n";
    setenv("KVT710_SETTINGS", (dir + "/settings.ini").c_str(), 1);
    e.batch = CreateObject("KVT710.KVT710C3");
    e.batch->PutRef("DBCon", Variant::Object(e.caller));
    return e;
  }();
  fuzz::Run(env, fuzz::Family::KVT710_FUZZ_FAMILY, data, size);
  return 0;
}
