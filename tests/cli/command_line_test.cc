// What a person at a shell is told: each mistake gets its exit code and a
// message that names it.
#include "cli/kvt710_process.h"

namespace kvt710 {
namespace {

using testing_support::RunKvt710;

struct Case {
  std::vector<std::string> args;
  int exit_code;
  std::string says;  // in standard error, or standard output when exit_code is 0
};

TEST(CommandLine, MistakesGetTheirExitCodeAndAMessageNamingThem) {
  const Case cases[] = {
      {{"imprt", "x"}, 2, "unknown command 'imprt'; did you mean 'import'?"},
      {{"config", "foo"},
       2,
       "unknown config command 'foo' (config commands: get, set, list, path)"},
      {{"--version"}, 0, "kvt710 0."},
      {{"--help"}, 0, "Usage: kvt710 "},
  };
  for (const Case& c : cases) {
    const auto result = RunKvt710(c.args);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.args[0] << ": " << result.err;
    const std::string& text = c.exit_code == 0 ? result.out : result.err;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.args[0] << ": " << text;
  }
  const auto version = RunKvt710({"--version"});
  EXPECT_NE(version.out.find("SQLite 3."), std::string::npos) << version.out;
  EXPECT_NE(version.out.find("libpq "), std::string::npos) << version.out;
}

}  // namespace
}  // namespace kvt710
