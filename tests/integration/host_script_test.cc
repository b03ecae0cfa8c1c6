// One host script, run on each database, gives the same output and sends
// the same statement texts.
#include <fstream>
#include <sstream>

#include "cli/script.h"
#include "component/server.h"
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
  RegisterServer();
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

}  // namespace
}  // namespace kvt710
