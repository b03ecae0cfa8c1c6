// Host-script steps whose values cannot be late-bound values: each fails on
// its own output line with its error, and the script goes on.
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/script.h"
#include "platform/automation/error.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;

std::string Nested(const std::string& open, const std::string& close, int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

TEST(HostScriptValues, BadBoundsAndDeepNestingFailTheirStepOnly) {
  const std::string call = R"({"call":"cn.Execute","args":[)";
  const std::vector<std::pair<std::string, int32_t>> steps = {
      {call + R"({"array":[],"lbound":-2147483648}]})", err::kSubscript},
      {call + R"({"array":["1"],"lbound":2147483647},{"array":[1,2],"lbound":2147483647}]})",
       err::kSubscript},
      {call +
           R"({"array":[[1],[2]],"lbounds":[1,2147483647]},{"array":[[]],"lbounds":[0,-2147483648]}]})",
       err::kSubscript},
      {call + R"({"array":["1"],"lbound":"x"}]})", err::kTypeMismatch},
      {call + R"({"array":[["1"]],"lbounds":[1,"x"]}]})", err::kTypeMismatch},
      {call + R"({"object":1}]})", err::kTypeMismatch},
      {call + Nested("[", "]", 100000) + "]}", err::kTypeMismatch},
      {call + Nested(R"({"array":[)", "]}", 40000) + "]}", err::kTypeMismatch},
  };
  std::string script = R"({"create":"ADODB.Connection","as":"cn"})"
                       "\n";
  for (const auto& [step, number] : steps) script += step + "\n";
  script += R"({"get":"cn.State"})";
  std::istringstream in(script);
  std::ostringstream out;
  EXPECT_EQ(cli::RunScript(in, out), static_cast<int>(steps.size()));

  std::istringstream lines(out.str());
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, R"({"ok":true})");
  for (const auto& [step, number] : steps) {
    ASSERT_TRUE(std::getline(lines, line)) << step.substr(0, 80);
    const json output = json::parse(line);
    EXPECT_EQ(output["ok"], false) << line;
    EXPECT_EQ(output["error"]["number"], number) << line;
    EXPECT_LT(line.size(), 400u) << line.substr(0, 400);
  }
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, R"({"ok":true,"result":0})");
}

}  // namespace
}  // namespace kvt710
