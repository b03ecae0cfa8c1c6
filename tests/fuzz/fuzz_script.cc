// libFuzzer target: the bytes of a host script run by RunScript against an
// SQLite database of the real schema (@DB@ stands for its path). Every step
// line (not blank) gives exactly one answer line; reports have lines of their own.
#include <stdlib.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/script.h"
#include "injection_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string db = [] {
    setenv("PGCONNECT_TIMEOUT", "1", 1);
    return (kvt710::fuzz::PrivateShop() / "shop.db").string();
  }();
  std::string text(reinterpret_cast<const char*>(data), size);
  for (size_t at = text.find("@DB@"); at != std::string::npos; at = text.find("@DB@", at))
    text.replace(at, 4, db);
  int64_t steps = 0, answers = 0;  // answers: -1 after a line of neither kind
  std::istringstream lines(text), in(text);
  for (std::string line; std::getline(lines, line);)
    steps += line.substr(0, line.size() - line.ends_with('\r')).find_first_not_of(" \t") !=
             std::string::npos;
  std::ostringstream out;
  kvt710::cli::RunScript(in, out);
  std::istringstream outputs(out.str());
  for (std::string line; std::getline(outputs, line);) {
    const nlohmann::json output = nlohmann::json::parse(line, nullptr, false);
    if (output.is_object() && output.contains("report")) continue;
    const bool answer = output.is_object() && output.contains("ok") && output["ok"].is_boolean();
    answers = answer && answers >= 0 ? answers + 1 : -1;
  }
  if (answers == steps) return 0;
  std::fprintf(stderr, "SCRIPT PROPERTY VIOLATED: %lld steps gave %lld answers\n%s\n",
               static_cast<long long>(steps), static_cast<long long>(answers), out.str().c_str());
  std::abort();
}
