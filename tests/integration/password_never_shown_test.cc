// The password of a connection string never reaches anything kvt710 prints
// or writes: import (standard output and error, rejects with the reports of
// failing customers), a refused login, the SQL trace, config list and get,
// show, and a batch object's status, on each database.
#include <fstream>
#include <sstream>

#include "batch/KVT710C3.h"
#include "cli/common.h"
#include "import_fault_support.h"
#include "platform/db/connection_string.h"
#include "platform/settings/settings.h"

namespace kvt710 {
namespace {

using namespace testing_support;
using nlohmann::json;
using ::testing::HasSubstr;

class PasswordNeverShown : public ::testing::TestWithParam<Backend> {};

TEST_P(PasswordNeverShown, InAnyOutputOfTheCommandsOrInReports) {
  ScopedSettings settings;
  TestDatabase database(GetParam());
  TempDir dir;
  // SQLite takes no password: a string that gives one is refused. A server
  // checks the working one (with the server's password) and refuses a wrong one.
  const std::string wrong = "\"Wr0ng;pass'wo\"\"rd-Q7\"", working = database.connection_string();
  std::vector<std::string> secrets = {"Wr0ng", "pass'wo", "rd-Q7", "Wr0ng%3B"};
  std::string refused = "Provider=SQLite;Password=" + wrong +
                        ";Data Source=" + (dir / "no/such/folder/shop.db").string();
  if (GetParam() == Backend::kPostgreSQL) {
    const db::ConnectionParameters admin = db::ParseConnectionString(std::getenv("KVT710_TEST_PG"));
    refused = "Provider=PostgreSQL;Password=" + wrong;
    for (const char* key : {"Host", "Port", "Database", "User ID"})
      refused += std::string(";") + key + "=" + admin.Find(key).value_or("");
    secrets.push_back(admin.Find("Password").value_or(""));
    ASSERT_FALSE(secrets.back().empty());
  } else if (testing_support::ThroughOdbc(GetParam())) {
    // The server's own string with the wrong password in place of its own.
    refused.clear();
    for (const auto& [key, value] : db::ParseConnectionString(working).values) {
      refused += key + "=" + (db::IsPasswordKey(key) ? wrong : value) + ";";
      if (db::IsPasswordKey(key)) secrets.push_back(value);
    }
  }
  const std::string input = (dir / "in.jsonl").string(), rejects = (dir / "rj.jsonl").string(),
                    trace = (dir / "trace.jsonl").string();
  // Two customers that import, one that the database refuses at Execute (a
  // second master row) and one whose key makes SetBaseData report and fail.
  json duplicate = cli::DemoCustomer(1, 5), bad_key = cli::DemoCustomer(1, 6);
  duplicate["calls"].insert(duplicate["calls"].begin() + 1, duplicate["calls"][0]);
  bad_key["key"] = "12A3";
  for (json& call : bad_key["calls"]) call.begin().value()["UniqueKey"] = "12A3";
  std::ofstream(input) << DemoLines(0, 1) << duplicate << "\n"
                       << bad_key << "\n"
                       << DemoLines(1, 2);
  ScopedEnv tracing("KVT710_TRACE_SQL", trace);

  const int refused_by_settings = GetParam() == Backend::kSQLite ? 3 : 4;
  const std::pair<std::vector<std::string>, int> commands[] = {
      {{"import", input, "--db", working, "--rejects", rejects}, 1},
      {{"config", "set", "area", "1"}, 0},
      {{"config", "set", "DBPARMC", working}, 0},
      {{"config", "set", "DBPARMS", refused}, 0},
      {{"config", "list"}, 0},
      {{"config", "get", "DBPARMC"}, 0},
      {{"config", "get", "DBPARMS"}, 0},
      {{"import", input}, 1},
      {{"show", "1 OR 1=1"}, 2},
      {{"show", "99999"}, 1},
      {{"show", "12A3", "--db", working}, 2},
      {{"import", input, "--db", refused}, 4},
      {{"show", "10001", "--db", refused}, 4},
      {{"init", "--db", refused}, 4},
      {{"config", "set", "area", "2"}, 0},
      {{"import", input}, refused_by_settings},
  };
  std::string output;
  for (const auto& [args, exit_code] : commands) {
    const CommandResult run = RunKvt710(args);
    EXPECT_EQ(run.exit_code, exit_code) << args[0] << " " << args[1] << ": " << run.err;
    output += run.out + run.err;
  }
  // The rejects hold each failing customer's reports; a batch object whose own
  // connection is refused says why.
  output += ReadText(rejects);
  EXPECT_THAT(output, HasSubstr("imported 2, rejected 2"));
  EXPECT_THAT(output, HasSubstr(R"("code":"11015")"));
  auto batch = KVT710C3::Create(cli::SettingsForDatabase(refused));
  EXPECT_NE(batch->DBStatus(), emDbNomal);
  const std::string traced = ReadText(trace);
  EXPECT_NE(traced.find("CBASE"), std::string::npos);
  output += batch->DBStatusString() + "\n" + traced;
  for (const std::string& secret : secrets)
    EXPECT_EQ(output.find(secret), std::string::npos) << "'" << secret << "' in:\n" << output;
}

INSTANTIATE_TEST_SUITE_P(Backends, PasswordNeverShown, ::testing::ValuesIn(TestBackends()),
                         BackendName);

}  // namespace
}  // namespace kvt710
