// kvt710 script: a host's late-bound calls replayed step by step. Each step
// answers on its own line, ok or failed with its error; one script gives the
// same answers and statement texts on each database; the command's exit
// code says whether a step failed.
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/script.h"
#include "import_fault_support.h"
#include "platform/automation/error.h"
#include "platform/clock.h"

namespace kvt710 {
namespace {

using namespace testing_support;
using nlohmann::json;
using ::testing::HasSubstr;

// A step and what its answer line holds.
struct Step {
  std::string step;
  bool ok;
  std::string holds;
};

// The answer lines, the report lines and the SQL trace of `steps` run on `backend`.
struct Answers {
  std::vector<std::string> lines;
  std::string reports, trace;
};
Answers RunSteps(Backend backend, const std::vector<Step>& steps) {
  TestDatabase database(backend);
  TempDir dir;
  ScopedEnv tracing("KVT710_TRACE_SQL", (dir / "trace.jsonl").string());
  ScopedClock clock([] { return DateTime{2016, 7, 4, 13, 5, 9}; });
  std::string script = R"({"create":"ADODB.Connection","as":"cn"})"
                       "\n"
                       R"({"call":"cn.Open","args":[")" +
                       database.connection_string() + "\"]}\n";
  for (const Step& s : steps) script += s.step + "\n";
  std::istringstream in(script);
  std::ostringstream out;
  cli::RunScript(in, out);
  Answers got;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);)
    (line.starts_with(R"({"report")") ? got.reports : got.lines.emplace_back()) += line + "\n";
  got.trace = ReadText((dir / "trace.jsonl").string());
  return got;
}

TEST(HostScript, EachStepAnswersAsAutomationWouldOnEachDatabase) {
  ScopedSettings settings;
  auto row = [](const std::string& letter) {
    json items = json::array();
    for (int i = 1; i <= 11; ++i) items.push_back(letter + std::to_string(i));
    return items;
  };
  const json kido = {{"array", {row("r"), row("l")}}, {"lbounds", {1, 1}}};
  const std::vector<Step> steps = {
      {R"({"create":"KVT710.KVT710C3","as":"b"})", true, R"({"ok":true})"},
      {R"({"get":"b.DBStatus"})", true, R"("result":)"},
      {R"({"putref":"b.DBCon","object":"cn"})", true, R"({"ok":true})"},
      {R"({"call":"b.SetSYOKANData","args":["001","1203","shifted",{"missing":true},"x"]})", false,
       R"("number":450)"},
      {R"({"call":"b.SetSYOKANData","args":["001","1203",0.30000000000000004,{"missing":true}]})",
       true, R"("result":0)"},
      {R"({"call":"b.SetSYOKANData","args":["001","12 03","refused key"]})", true,
       R"("result":-1)"},
      // The measurements come back rendered by their subscripts.
      {R"({"call":"b.SetH_DTLData","args":["001","1203","1","1","","",)" + kido.dump() + "," +
           kido.dump() + "]}",
       true, R"("'r10'","'r11'"],["'l1'","'l2'")"},
      {R"({"call":"b.Execute","args":["1203"]})", true, R"("result":0)"},
      {R"({"call":"cn.Execute","args":["Select CMNT_STORE_NO, CMNT_UNIQUE_KEY, CMNT_COMMENT_1, )"
       R"(CMNT_TRANCE_FLG From CSYOKN"],"as":"rs"})",
       true, R"("result":{"object":true})"},
      {R"({"call":"rs.GetRows"})", true,
       R"("result":{"array":[["001"],[1203],["0.3"],[null]],"lbounds":[0,0]})"},
      {R"({"create":"KVT710.KVT710C1","as":"x"})", true, R"({"ok":true})"},
      {R"({"put":"x.CliantNo","value":1203})", true, R"({"ok":true})"},
      // Values that cannot be late-bound values fail their own step only.
      {R"({"call":"cn.Execute","args":[{"array":["1"],"lbound":2147483647},)"
       R"({"array":[1,2],"lbound":2147483647}]})",
       false, R"("number":9,)"},
      {R"({"call":"cn.Execute","args":[{"array":[[1],[2]],"lbounds":[1,2147483647]},)"
       R"({"array":[[]],"lbounds":[0,-2147483648]}]})",
       false, R"("number":9,)"},
      {R"({"call":"cn.Execute","args":[{"object":1}]})", false, "names an object: "},
      {R"({"release":"b"})", true, R"({"ok":true})"},
      {R"({"get":"b.DBStatus"})", false, R"("number":424)"},
  };
  const Answers sqlite = RunSteps(Backend::kSQLite, steps);
  ASSERT_EQ(sqlite.lines.size(), steps.size() + 2) << sqlite.reports;
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(steps[i].step);
    const std::string& answer = sqlite.lines[i + 2];
    EXPECT_TRUE(answer.starts_with(steps[i].ok ? R"({"ok":true)" : R"({"ok":false,"error":{)"))
        << answer;
    EXPECT_THAT(answer, HasSubstr(steps[i].holds));
    EXPECT_LT(answer.size(), 1000u) << answer;
  }
  EXPECT_THAT(sqlite.reports, HasSubstr(R"("code":"11015")"));
  EXPECT_THAT(sqlite.reports, HasSubstr(R"("source":"KVT710C3.SetSYOKANData")"));
  for (Backend backend : TestBackends()) {
    if (backend == Backend::kSQLite) continue;
    const Answers other = RunSteps(backend, steps);
    EXPECT_EQ(other.trace, sqlite.trace);
    ASSERT_EQ(other.lines.size(), sqlite.lines.size());
    for (size_t i = 0; i < steps.size(); ++i)  // error texts come from each database
      if (steps[i].ok) {
        EXPECT_EQ(other.lines[i + 2], sqlite.lines[i + 2]) << steps[i].step;
      }
  }
}

TEST(HostScript, TheCommandFailsWhenAStepFails) {
  ScopedSettings settings;
  const std::string open =
      "{\"create\":\"ADODB.Connection\",\"as\":\"cn\"}\n{\"get\":\"cn.State\"}\n";
  for (const auto& [script, exit_code] : {std::pair{open, 0}, {open + R"({"get":"cn.No"})", 1}}) {
    const CommandResult run = RunKvt710({"script", "-"}, script);
    EXPECT_EQ(run.exit_code, exit_code) << script << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr(R"({"ok":true,"result":0})"));
  }
}

}  // namespace
}  // namespace kvt710
