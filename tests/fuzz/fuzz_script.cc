// libFuzzer target: the bytes of a host script, run by RunScript against an
// SQLite database of the real schema that the settings name (@DB@ in the
// input stands for its path, as in examples/first-customer.jsonl).
//
// The property: nothing crashes, and every step line (not blank) gives
// exactly one output line {"ok":...}; reports come on lines of their own.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/script.h"
#include "component/server.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"

namespace kvt710::fuzz {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

[[noreturn]] void Violation(const std::string& what) {
  std::fprintf(stderr, "SCRIPT PROPERTY VIOLATED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

struct Setup {
  fs::path dir;

  Setup() {
    const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    std::string pattern = (base / "kvt710-fuzz-script-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Violation("set-up: cannot create a temporary folder");
    dir = pattern;
    std::ofstream(dir / "settings.ini")
        << "[QTMS\\Common]\narea=1\nDBPARMC=Provider=SQLite;Data Source=" << db().string() << "\n";
    setenv("KVT710_SETTINGS", (dir / "settings.ini").c_str(), 1);
    setenv("PGCONNECT_TIMEOUT", "1", 1);
    auto connection = db::Connection::Create();
    connection->Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + db().string());
    db::CreateProductSchema(*connection);
    RegisterServer();
  }
  ~Setup() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  fs::path db() const { return dir / "shop.db"; }
};

void CheckInput(const uint8_t* data, size_t size) {
  static Setup setup;
  std::string text(reinterpret_cast<const char*>(data), size);
  for (size_t at = text.find("@DB@"); at != std::string::npos; at = text.find("@DB@", at))
    text.replace(at, 4, setup.db().string());

  // The steps as RunScript counts them.
  int64_t steps = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") != std::string::npos) ++steps;
  }

  std::istringstream in(text);
  std::ostringstream out;
  cli::RunScript(in, out);
  std::istringstream outputs(out.str());
  int64_t answers = 0;
  for (std::string line; std::getline(outputs, line);) {
    const json output = json::parse(line, nullptr, false);
    if (output.is_object() && output.contains("report")) continue;
    if (!output.is_object() || !output.contains("ok") || !output["ok"].is_boolean())
      Violation("an output line that is neither a step's answer nor a report: " + line);
    ++answers;
  }
  if (answers != steps)
    Violation(std::to_string(steps) + " steps gave " + std::to_string(answers) + " answers");
}

}  // namespace
}  // namespace kvt710::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvt710::fuzz::CheckInput(data, size);
  return 0;
}
