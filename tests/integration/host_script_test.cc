// One host script, run on each database, gives the same output and sends
// the same statement texts.
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/script.h"
#include "platform/clock.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::ScopedEnv;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

struct ScriptRun {
  std::string output;
  std::string trace;
};

ScriptRun RunOn(Backend backend) {
  TestDatabase database(backend);
  ScopedSettings settings;
  settings.UseConnection(database.connection_string());
  TempDir dir;
  ScopedEnv trace("KVT710_TRACE_SQL", (dir / "trace.jsonl").string());
  ScopedClock clock([] { return DateTime{2016, 7, 4, 13, 5, 9}; });
  std::string connection = database.connection_string();
  std::string script = R"({"create":"ADODB.Connection","as":"cn"})"
                       "\n"
                       R"({"call":"cn.Open","args":[")" +
                       connection + R"("]})" + "\n" +
                       R"({"create":"KVT710.KVT710C3","as":"b"}
{"get":"b.DBStatus"}
{"putref":"b.DBCon","object":"cn"}
{"call":"b.Initialize"}
{"call":"b.SetSYOKANData","args":["001","1203","O'Neill asked for thin frames",{"missing":true}]}
{"call":"b.SetSYOKANData","args":["001","12 03","refused key"]}
{"call":"b.FamilyCnt_Update","args":["1203"]}
{"call":"b.Execute","args":["1203"]}
{"call":"cn.Execute","args":["Select CMNT_STORE_NO, CMNT_UNIQUE_KEY, CMNT_COMMENT_1, CMNT_TRANCE_FLG From CSYOKN"],"as":"rs"}
{"call":"rs.GetRows"}
{"call":"b.Execute","args":[""]}
{"release":"b"}
)";
  std::istringstream in(script);
  std::ostringstream out;
  cli::RunScript(in, out);
  std::ifstream traced(dir / "trace.jsonl");
  std::stringstream texts;
  texts << traced.rdbuf();
  return {out.str(), texts.str()};
}

TEST(HostScript, SameOutputAndStatementTextsOnEachDatabase) {
  ScriptRun sqlite = RunOn(Backend::kSQLite);
  EXPECT_NE(
      sqlite.output.find(
          R"("result":{"array":[["001"],[1203],["O'Neill asked for thin frames"],[null]],"lbounds":[0,0]})"),
      std::string::npos)
      << sqlite.output;
  EXPECT_NE(sqlite.output.find(R"({"report":{"code":"11015",)"), std::string::npos)
      << sqlite.output;
  EXPECT_NE(sqlite.output.find(R"("source":"KVT710C3.SetSYOKANData"}})"), std::string::npos)
      << sqlite.output;
  EXPECT_NE(sqlite.output.find(R"({"ok":false,"error":{)"), std::string::npos) << sqlite.output;
  for (Backend backend : testing_support::TestBackends()) {
    if (backend == Backend::kSQLite) continue;
    ScriptRun other = RunOn(backend);
    EXPECT_EQ(other.trace, sqlite.trace);
    // Error texts of a rejected statement come from each database; the rest is equal.
    auto without_errors = [](const std::string& text) {
      std::istringstream lines(text);
      std::string kept;
      for (std::string line; std::getline(lines, line);)
        if (line.find(R"("ok":false)") == std::string::npos) kept += line + "\n";
      return kept;
    };
    EXPECT_EQ(without_errors(other.output), without_errors(sqlite.output));
  }
}

// A host's calls as automation would take them: surplus arguments refused,
// a Double passed as text with 15 digits, the hearing measurements rendered
// in their documented order, a field name with blanks around it.
TEST(HostScript, ArgumentsAreCheckedAndConvertedAsAutomationDoes) {
  TestDatabase database(Backend::kSQLite);
  ScopedSettings settings;
  settings.UseConnection(database.connection_string());
  auto row = [](const std::string& letter, int n) {
    nlohmann::json items = nlohmann::json::array();
    for (int i = 1; i <= n; ++i) items.push_back(letter + std::to_string(i));
    return items;
  };
  const nlohmann::json kido = {{"array", {row("r", 11), row("l", 11)}}, {"lbounds", {1, 1}}};
  const nlohmann::json kodo = {{"array", {row("R", 10), row("L", 10)}}, {"lbounds", {1, 1}}};
  std::string script = R"({"create":"ADODB.Connection","as":"cn"})"
                       "\n"
                       R"({"call":"cn.Open","args":[")" +
                       database.connection_string() + R"("]})" + "\n" +
                       R"({"create":"KVT710.KVT710C3","as":"b"}
{"putref":"b.DBCon","object":"cn"}
{"call":"b.SetSYOKANData","args":["001","1203","shifted",{"missing":true},"extra"]}
{"call":"b.SetSYOKANData","args":["001","1203",0.30000000000000004]}
{"call":"b.SetH_DTLData","args":["001","1203","1","1","","",)" +
                       kido.dump() + "," + kodo.dump() + R"(]}
{"call":"b.Execute","args":["1203"]}
{"call":"cn.Execute","args":["Select CMNT_COMMENT_1 From CSYOKN"],"as":"rs"}
{"call":"rs.GetRows"}
{"create":"KVT710.KVT710C1","as":"x"}
{"putref":"x.ObjConnect","object":"cn"}
{"put":"x.CliantNo","value":1203}
{"put":"x.ExMode","value":2}
{"put":"x.FldCount","value":1}
{"call":"x.subParaRedim"}
{"put":"x.FldIndex","value":1}
{"put":"x.propFields","value":" CUBS_SEX "}
{"put":"x.propValue","value":" 1 "}
{"call":"x.funcExeSqlCbase"}
)";
  std::istringstream in(script);
  std::ostringstream out;
  cli::RunScript(in, out);
  std::vector<nlohmann::json> steps;  // the reports aside
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);)
    if (line.find(R"({"report")") != 0) steps.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(steps.size(), 20u) << out.str();
  EXPECT_EQ(steps[4]["error"]["number"], 450) << steps[4];
  EXPECT_EQ(steps[5]["result"], 0) << steps[5];
  const nlohmann::json& detail = steps[6];
  EXPECT_EQ(detail["result"], -1) << detail;
  EXPECT_EQ(detail["byref"]["6"]["array"][0][10], "'r11'");
  EXPECT_EQ(detail["byref"]["7"]["array"][0][9], "'R10'");
  EXPECT_EQ(detail["byref"]["6"]["array"][1][0], "l1");
  EXPECT_EQ(detail["byref"]["7"]["array"][1][0], "L1");
  EXPECT_EQ(steps[9]["result"]["array"], nlohmann::json::parse(R"([["0.3"]])")) << steps[9];
  EXPECT_EQ(steps[19]["result"], true) << out.str();
}

}  // namespace
}  // namespace kvt710
