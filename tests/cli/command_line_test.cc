// What a person at a shell is told: each mistake gets its exit code and a
// message that names it.
#include <filesystem>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/kvt710_process.h"
#include "platform/db/connection.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::RunKvt710;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

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
      // The import methods, one method's parameters from its writer's own lists.
      {{"methods"}, 0, "FamilyCnt_Update  (family grouping)  1 parameter, 1 required"},
      {{"methods"}, 0, "SetBaseData       CBASE              53 parameters, 45 required"},
      {{"methods", "setsyokandata"},
       0,
       "TranseFlg  text                            optional  CMNT_TRANCE_FLG\n"},
      {{"methods", "SetH_DTLData"},
       0,
       "two-dimensional array of 2x11   required  HOCD_KIDOR_1 .. HOCD_KIDOL_11 (22 columns)"},
      {{"methods", "SetBaseData"},
       0,
       "array of 16                     required  CUBS_BUY1_FLG .. "},
      {{"methods", "SetBaseDat"}, 2, "no import method 'SetBaseDat'; did you mean 'SetBaseData'?"},
      {{"--help"}, 0, "Usage: kvt710 "},
  };
  for (const Case& c : cases) {
    const auto result = RunKvt710(c.args);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.args[0] << ": " << result.err;
    const std::string& text = c.exit_code == 0 ? result.out : result.err;
    EXPECT_NE(text.find(c.says), std::string::npos) << c.args[0] << ": " << text;
  }
  // The README's synopsis has a line for every command that --help lists.
  const std::string help = RunKvt710({"--help"}).out;
  const std::string readme = testing_support::ReadSourceFile("README.md");
  const std::string synopsis = readme.substr(readme.find("## The command line"));
  std::istringstream commands(help.substr(help.find("Subcommands:\n") + 13));
  for (std::string line; std::getline(commands, line) && line.rfind("  ", 0) == 0;) {
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    EXPECT_NE(synopsis.find("\nkvt710 " + name + " "), std::string::npos) << name;
  }
  const auto version = RunKvt710({"--version"});
  EXPECT_NE(version.out.find("SQLite 3."), std::string::npos) << version.out;
  EXPECT_NE(version.out.find("libpq "), std::string::npos) << version.out;
}

TEST(CommandLine, DeleteSaysWhyItFailed) {
  ScopedSettings settings;
  TempDir dir;
  const auto no_tables = RunKvt710({"delete", "--key", "1", "--db", (dir / "empty.db").string()});
  EXPECT_EQ(no_tables.exit_code, 4);
  EXPECT_NE(no_tables.err.find("kvt710 init"), std::string::npos) << no_tables.err;

  // The database refuses the maintenance row: its own message is shown.
  TestDatabase database(Backend::kSQLite);
  auto connection = database.Connect();
  connection->Execute(
      "Insert Into CBASE (CUBS_UNIQUE_KEY, CUBS_DATA_FLG, CUBS_NEWBST_COMING) Values (1, '0', "
      "'2009/12/31')");
  connection->Execute(
      "Create Trigger closed Before Insert On CMENTE_T Begin Select Raise(Abort, 'maintenance is "
      "closed'); End");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"delete", "--key", "1"}, {"delete", "--before", "20100101"}}) {
    std::vector<std::string> with_db = args;
    with_db.insert(with_db.end(), {"--db", database.connection_string()});
    const auto refused = RunKvt710(with_db);
    EXPECT_EQ(refused.exit_code, 4) << args[1];
    EXPECT_NE(refused.err.find("nothing changed: The maintenance transaction could not be "
                               "written: maintenance is closed"),
              std::string::npos)
        << refused.err;
  }
  EXPECT_EQ(database.Scalar("Select CUBS_DATA_FLG From CBASE"), "0");
}

// A person starts from the sample customers as a file, and sees what a sweep
// would mark before it marks anything.
TEST(CommandLine, DemoEmitsAnImportFileAndADryRunChangesNothing) {
  ScopedSettings settings;
  TempDir dir;
  const std::string file = (dir / "sample.jsonl").string(), db = (dir / "shop.db").string();
  ASSERT_EQ(RunKvt710({"demo", "--customers", "30", "--emit", file}).exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "kvt710-demo"));
  ASSERT_EQ(RunKvt710({"init", "--db", db}).exit_code, 0);
  // --check runs every customer and stores nothing: the file is unchanged.
  const std::string empty = testing_support::ReadText(db);
  const auto checked = RunKvt710({"import", file, "--db", db, "--check"});
  EXPECT_NE(checked.out.find("imported 30, rejected 0"), std::string::npos) << checked.err;
  EXPECT_NE(checked.out.find("(checked only: nothing stored)"), std::string::npos);
  EXPECT_TRUE(testing_support::ReadText(db) == empty);
  const auto imported = RunKvt710({"import", file, "--db", db, "--json"});
  const auto summary = nlohmann::json::parse(imported.out);
  EXPECT_EQ(summary["imported"], 30) << imported.out;
  EXPECT_EQ(summary["lines_read"], 30);
  EXPECT_TRUE(summary["stopped"].is_null());

  auto count = [&] {
    auto connection = db::Connection::Create();
    connection->Open("Provider=SQLite;Data Source=" + db);
    return testing_support::Rows(*connection, "Select Count(*) From CBASE Where CUBS_DATA_FLG = 2");
  };
  const auto marked_before = count();
  const auto dry = RunKvt710({"delete", "--before", "30000101", "--dry-run", "--db", db});
  EXPECT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_NE(dry.out.find("Would mark "), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("nothing changed (key, store, newest visit):\n100"), std::string::npos)
      << dry.out;
  EXPECT_EQ(count(), marked_before);
}

}  // namespace
}  // namespace kvt710
