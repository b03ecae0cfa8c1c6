// kvt710 script: a host's late-bound calls replayed step by step. Each step
// answers on its own line, ok or failed with its error; one script gives the
// same answers and statement texts on each database; the command's exit
// code says whether a step failed.
#include <fstream>
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

// A step and what its answer line holds.
struct Step {
  std::string step;
  bool ok;
  std::string holds;
};

// The answers (reports aside) and the report lines of `steps` run on `backend`.
std::pair<std::vector<std::string>, std::string> RunSteps(Backend backend,
                                                          const std::vector<Step>& steps,
                                                          std::string* trace = nullptr) {
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
  std::vector<std::string> answers;
  std::string reports;
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);)
    (line.starts_with(R"({"report")") ? reports : answers.emplace_back()) += line + "\n";
  if (trace) *trace = ReadText((dir / "trace.jsonl").string());
  return {answers, reports};
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
      {R"({"putref":"x.ObjConnect","object":"cn"})", true, R"({"ok":true})"},
      {R"({"put":"x.CliantNo","value":1203})", true, R"({"ok":true})"},
      {R"({"put":"x.ExMode","value":2})", true, R"({"ok":true})"},
      {R"({"put":"x.FldCount","value":1})", true, R"({"ok":true})"},
      {R"({"call":"x.subParaRedim"})", true, R"({"ok":true)"},
      {R"({"put":"x.FldIndex","value":1})", true, R"({"ok":true})"},
      {R"({"put":"x.propFields","value":" CUBS_SEX "})", true, R"({"ok":true})"},
      {R"({"put":"x.propValue","value":" 1 "})", true, R"({"ok":true})"},
      {R"({"call":"x.funcExeSqlCbase"})", true, R"("result":true)"},
      {R"({"release":"b"})", true, R"({"ok":true})"},
      {R"({"get":"b.DBStatus"})", false, R"("number":424)"},
  };
  std::string sqlite_trace;
  const auto [answers, reports] = RunSteps(Backend::kSQLite, steps, &sqlite_trace);
  ASSERT_EQ(answers.size(), steps.size() + 2) << reports;
  for (size_t i = 0; i < steps.size(); ++i) {
    const std::string& answer = answers[i + 2];
    EXPECT_TRUE(answer.starts_with(steps[i].ok ? R"({"ok":true)" : R"({"ok":false,"error":{)"))
        << steps[i].step << "\n"
        << answer;
    EXPECT_NE(answer.find(steps[i].holds), std::string::npos) << steps[i].step << "\n" << answer;
  }
  EXPECT_NE(reports.find(R"("code":"11015")"), std::string::npos) << reports;
  EXPECT_NE(reports.find(R"("source":"KVT710C3.SetSYOKANData")"), std::string::npos) << reports;
  for (Backend backend : TestBackends()) {
    if (backend == Backend::kSQLite) continue;
    std::string trace;
    const auto [other, other_reports] = RunSteps(backend, steps, &trace);
    EXPECT_EQ(trace, sqlite_trace);
    ASSERT_EQ(other.size(), answers.size());
    for (size_t i = 0; i < steps.size(); ++i)  // error texts come from each database
      if (steps[i].ok) {
        EXPECT_EQ(other[i + 2], answers[i + 2]) << steps[i].step;
      }
  }
}

TEST(HostScript, TheCommandFailsWhenAStepFails) {
  ScopedSettings settings;
  TempDir dir;
  const std::string file = (dir / "script.jsonl").string();
  const std::string open = R"({"create":"ADODB.Connection","as":"cn"})"
                           "\n"
                           R"({"get":"cn.State"})"
                           "\n";
  for (const auto& [script, exit_code] : {std::pair{open, 0}, {open + R"({"get":"cn.No"})", 1}}) {
    std::ofstream(file) << script;
    const CommandResult run = RunKvt710({"script", file});
    EXPECT_EQ(run.exit_code, exit_code) << script << run.out << run.err;
    EXPECT_NE(run.out.find(R"({"ok":true,"result":0})"), std::string::npos) << run.out;
  }
}

// Values that cannot be late-bound values: each fails its own step with its
// error on a short line, and the script goes on.
TEST(HostScriptValues, BadBoundsAndDeepNestingFailTheirStepOnly) {
  const std::string call = R"({"call":"cn.Execute","args":[)";
  const std::vector<std::pair<std::string, int32_t>> steps = {
      {R"({"array":[],"lbound":-2147483648})", err::kSubscript},
      {R"({"array":["1"],"lbound":2147483647},{"array":[1,2],"lbound":2147483647})",
       err::kSubscript},
      {R"({"array":[[1],[2]],"lbounds":[1,2147483647]},{"array":[[]],"lbounds":[0,-2147483648]})",
       err::kSubscript},
      {R"({"array":["1"],"lbound":"x"})", err::kTypeMismatch},
      {R"({"array":[["1"]],"lbounds":[1,"x"]})", err::kTypeMismatch},
      {R"({"object":1})", err::kTypeMismatch},
      {Nested("[", "]", 100000), err::kTypeMismatch},
      {Nested(R"({"array":[)", "]}", 40000), err::kTypeMismatch},
  };
  std::string script = R"({"create":"ADODB.Connection","as":"cn"})"
                       "\n";
  for (const auto& [args, number] : steps) script += call + args + "]}\n";
  script += R"({"get":"cn.State"})";
  std::istringstream in(script);
  std::ostringstream out;
  EXPECT_EQ(cli::RunScript(in, out), static_cast<int>(steps.size()));
  std::istringstream lines(out.str());
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, R"({"ok":true})");
  for (const auto& [args, number] : steps) {
    ASSERT_TRUE(std::getline(lines, line)) << args.substr(0, 80);
    EXPECT_EQ(json::parse(line)["error"]["number"], number) << line;
    EXPECT_TRUE(line.starts_with(R"({"ok":false,)") && line.size() < 400) << line.substr(0, 400);
  }
  std::getline(lines, line);
  EXPECT_EQ(line, R"({"ok":true,"result":0})");
}

}  // namespace
}  // namespace kvt710
