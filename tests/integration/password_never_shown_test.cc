// The password of a connection string never reaches anything kvt710 prints
// or writes: import (standard output and error, the rejects file) with
// failing customers, a refused login, the SQL trace, config list and get,
// show with a bad key, and the reports that reach the error reporter's
// listeners, on each database.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/KVT710C3.h"
#include "cli/common.h"
#include "cli/demo_data.h"
#include "cli/import.h"
#include "cli/json_values.h"
#include "cli/kvt710_process.h"
#include "platform/db/connection_string.h"
#include "platform/settings/settings.h"
#include "platform/sibling/prw520.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;
using testing_support::Backend;
using testing_support::CommandResult;
using testing_support::RunKvt710;
using testing_support::ScopedEnv;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

std::string ReadFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Two customers that import, one that the database refuses at Execute (a
// second master row) and one whose key makes SetBaseData report and fail.
std::string CustomersWithFailures() {
  json duplicate = cli::DemoCustomer(1, 5);
  duplicate["calls"].insert(duplicate["calls"].begin() + 1, duplicate["calls"][0]);
  json bad_key = cli::DemoCustomer(1, 6);
  bad_key["key"] = "12A3";
  for (json& call : bad_key["calls"]) call.begin().value()["UniqueKey"] = "12A3";
  return cli::DemoCustomerLine(1, 0) + "\n" + duplicate.dump() + "\n" + bad_key.dump() + "\n" +
         cli::DemoCustomerLine(1, 1) + "\n";
}

struct Strings {
  std::string working;  // reaches the test database
  std::string refused;  // the database cannot be opened with it
  std::vector<std::string> secrets;
};

// SQLite takes no password: a string that gives one is refused. On
// PostgreSQL the server checks the working one and refuses a distinctive wrong one.
Strings ConnectionStrings(const TestDatabase& database, const TempDir& dir) {
  const std::string refused_password = "\"Wr0ng;pass'wo\"\"rd-Q7\"";
  const std::vector<std::string> refused_pieces = {"Wr0ng", "pass'wo", "rd-Q7", "Wr0ng%3B"};
  if (database.backend() == Backend::kSQLite) {
    Strings s;
    s.working = database.connection_string();
    s.refused = "Provider=SQLite;Password=" + refused_password +
                ";Data Source=" + (dir / "no/such/folder/shop.db").string();
    s.secrets = refused_pieces;
    return s;
  }
  const db::ConnectionParameters admin = db::ParseConnectionString(std::getenv("KVT710_TEST_PG"));
  auto value = [&](const char* key) { return admin.Find(key).value_or(""); };
  Strings s;
  s.working = database.connection_string();  // a URI holding the server's password
  s.refused = "Provider=PostgreSQL;Host=" + value("Host") + ";Port=" + value("Port") +
              ";Database=" + value("Database") + ";User ID=" + value("User ID") +
              ";Password=" + refused_password;
  s.secrets = refused_pieces;
  s.secrets.push_back(value("Password"));
  return s;
}

class PasswordNeverShown : public ::testing::TestWithParam<Backend> {
 protected:
  ScopedSettings settings_;
};

TEST_P(PasswordNeverShown, InAnyOutputOfTheCommandsOrInReports) {
  TestDatabase database(GetParam());
  TempDir dir;
  const Strings strings = ConnectionStrings(database, dir);
  ASSERT_FALSE(strings.secrets.back().empty());
  const std::string input = (dir / "customers.jsonl").string(),
                    rejects = (dir / "rejects.jsonl").string(),
                    trace = (dir / "trace.jsonl").string();
  std::ofstream(input) << CustomersWithFailures();
  ScopedEnv tracing("KVT710_TRACE_SQL", trace);

  std::string output;
  auto keep = [&](const std::string& what, const CommandResult& run) {
    output += "== " + what + " (" + std::to_string(run.exit_code) + ")\n" + run.out + run.err;
    return run;
  };

  // Named with --db, and then by the settings.
  auto imported = keep("import --db",
                       RunKvt710({"import", input, "--db", strings.working, "--rejects", rejects}));
  EXPECT_EQ(imported.exit_code, 1) << imported.err;
  EXPECT_NE(imported.out.find("imported 2, rejected 2"), std::string::npos) << imported.out;
  output += ReadFile(rejects);
  EXPECT_NE(output.find("11015"), std::string::npos);  // the report is in the rejects

  keep("config set", RunKvt710({"config", "set", "area", "1"}));
  keep("config set", RunKvt710({"config", "set", "DBPARMC", strings.working}));
  keep("config set", RunKvt710({"config", "set", "DBPARMS", strings.refused}));
  EXPECT_EQ(keep("config list", RunKvt710({"config", "list"})).exit_code, 0);
  keep("config get", RunKvt710({"config", "get", "DBPARMC"}));
  keep("config get", RunKvt710({"config", "get", "DBPARMS"}));
  EXPECT_EQ(keep("import", RunKvt710({"import", input})).exit_code, 1);
  EXPECT_EQ(keep("show", RunKvt710({"show", "1 OR 1=1"})).exit_code, 2);
  EXPECT_EQ(keep("show", RunKvt710({"show", "99999"})).exit_code, 1);
  EXPECT_EQ(keep("show", RunKvt710({"show", "12A3", "--db", strings.working})).exit_code, 2);

  // The refused login, named with --db and by the settings.
  EXPECT_EQ(keep("import refused", RunKvt710({"import", input, "--db", strings.refused})).exit_code,
            4);
  EXPECT_EQ(keep("show refused", RunKvt710({"show", "10001", "--db", strings.refused})).exit_code,
            4);
  EXPECT_EQ(keep("init refused", RunKvt710({"init", "--db", strings.refused})).exit_code, 4);
  keep("config set", RunKvt710({"config", "set", "area", "2"}));
  // SQLite refuses the string itself (it takes no password): a settings fault.
  EXPECT_EQ(keep("import refused", RunKvt710({"import", input})).exit_code,
            GetParam() == Backend::kSQLite ? 3 : 4);

  // The reports that listeners receive: of a failing customer, and of a
  // batch object whose own connection is refused.
  std::string reports;
  auto listening = ListenForReports(
      [&](const Report& report) { reports += cli::ReportJson(report).dump() + "\n"; });
  {
    cli::Importer importer(strings.working);
    std::istringstream in(CustomersWithFailures());
    std::ostringstream rejected;
    EXPECT_EQ(cli::ImportStream(importer, in, rejected, nullptr).rejected, 2);
    output += rejected.str();
  }
  auto refused = KVT710C3::Create(cli::SettingsForDatabase(strings.refused));
  EXPECT_NE(refused->DBStatus(), emDbNomal);
  output += refused->DBStatusString() + "\n";
  EXPECT_NE(reports.find("11015"), std::string::npos) << reports;
  EXPECT_NE(reports.find("KVT710C3"), std::string::npos) << reports;
  output += reports;

  const std::string traced = ReadFile(trace);
  EXPECT_NE(traced.find("CBASE"), std::string::npos);  // the trace was written
  output += traced;
  for (const std::string& secret : strings.secrets)
    EXPECT_EQ(output.find(secret), std::string::npos) << "'" << secret << "' in:\n" << output;
}

INSTANTIATE_TEST_SUITE_P(Backends, PasswordNeverShown,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
