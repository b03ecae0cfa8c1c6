// What a person at a shell is told: each mistake gets its exit code and a
// message that names it; delete says why it failed; the demo's file imports;
// config stores values exactly, names its file and never prints a password.
#include <array>

#include "cli/config.h"
#include "cli/kvt710_process.h"
#include "platform/db/connection.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::RunKvt710;
using testing_support::ScopedSettings;
using testing_support::TempDir;

TEST(CommandLine, MistakesGetTheirExitCodeAndAMessageNamingThem) {
  ScopedSettings settings;
  TempDir dir;
  const std::string empty = (dir / "empty.db").string();
  std::ofstream(empty).flush();
  // Arguments, exit code, what standard error (standard output on success) says.
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> cases = {
      {{"imprt", "x"}, 2, "unknown command 'imprt'; did you mean 'import'? (commands: script, "},
      {{"config", "foo"}, 2, "config command 'foo' (config commands: get, set, list, path)"},
      {{"methods", "SetBaseDat"}, 2, "no import method 'SetBaseDat'; did you mean 'SetBaseData'?"},
      {{"delete"}, 2, "delete needs --key KEY or --before YYYYMMDD (kvt710 delete --help)"},
      {{"delete", "--key", "1", "--before", "20140101"}, 2, "--key excludes --before"},
      {{"delete", "--before", "20141301"}, 2, "yyyymmdd, such as 20150101: 20141301"},
      {{"delete", "--key", "1", "--db", empty}, 4, "create them with kvt710 init"},
      {{"show", "12.5"}, 2, "KEY is a customer's unique key, a whole number of at most 15 digits"},
      {{"show", "1", "--db", "sqlite:///x.db"}, 2, "postgresql://"},
      {{"show", "1", "--db", "Data Source=x.db"}, 2, "names no provider"},
      {{"show", "1", "--db", "Provider=SQLite;Data Source=x.db;Prepared Statement=yes"},
       4,
       "did you mean 'Prepared Statements'?"},
      {{"--version"}, 0, "kvt710 0.1.0 (ODBC driver manager 03."},
      {{"--version"}, 0, ", libpq "},
      {{"--version"}, 0, ", SQLite 3."},
      // The import methods, one method's parameters from its writer's own lists.
      {{"methods"}, 0, "FamilyCnt_Update  (family grouping)  1 parameter, 1 required"},
      {{"methods"}, 0, "SetBaseData       CBASE              53 parameters, 45 required"},
      {{"methods", "setsyokandata"},
       0,
       "TranseFlg  text                            optional  CMNT_TRANCE_FLG\n"},
      {{"methods", "SetH_DTLData"}, 0, "2x11   required  HOCD_KIDOR_1 .. HOCD_KIDOL_11 (22"},
      {{"methods", "SetBaseData"}, 0, "array of 16                     required  CUBS_BUY1_FLG"},
  };
  for (const auto& [args, exit_code, says] : cases) {
    const auto result = RunKvt710(args);
    EXPECT_EQ(result.exit_code, exit_code) << args[0] << ": " << result.err;
    const std::string& text = exit_code == 0 ? result.out : result.err;
    EXPECT_NE(text.find(says), std::string::npos) << args[0] << ": " << text;
  }
  // A mistake in the settings file names the file and the key; so does a file not readable.
  const std::string file = settings.file().string();
  for (const auto& [content, says] : std::vector<std::pair<std::string, std::string>>{
           {"area=1\nDBPARMC=garbage", "DBPARMC"},
           {"area = 1\nDBPARMC=" + empty, "\" 1\""},
           {"", "Cannot read settings file " + file + ": Is a directory"}}) {
    std::filesystem::remove(file);
    if (content.empty())
      std::filesystem::create_directory(file);
    else
      std::ofstream(file) << "[QTMS\\Common]\n" << content << "\n";
    const auto result = RunKvt710({"show", "1"});
    EXPECT_EQ(result.exit_code, 3) << content;
    EXPECT_NE(result.err.find(file), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(says), std::string::npos) << result.err;
  }
  std::filesystem::remove(file);
}

TEST(CommandLine, DeleteSaysWhyItFailed) {
  ScopedSettings settings;
  // The database refuses the maintenance row: its own message is shown.
  testing_support::TestDatabase database(Backend::kSQLite);
  auto connection = database.Connect();
  connection->Execute(
      "Insert Into CBASE (CUBS_UNIQUE_KEY, CUBS_DATA_FLG, CUBS_NEWBST_COMING) "
      "Values (1, '0', '2009/12/31')");
  connection->Execute(
      "Create Trigger closed Before Insert On CMENTE_T Begin "
      "Select Raise(Abort, 'maintenance is closed'); End");
  const std::string db = database.connection_string();
  for (const auto& [args, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"delete", "--key", "1", "--db", db}, "The deletion of customer 1 failed; "},
           {{"delete", "--before", "20100101", "--db", db}, "The sweep failed; "}}) {
    const auto refused = RunKvt710(args);
    EXPECT_EQ(refused.exit_code, 4) << args[1];
    EXPECT_NE(refused.err.find(says + "nothing changed: The maintenance transaction could not be "
                                      "written: maintenance is closed"),
              std::string::npos)
        << refused.err;
  }
  EXPECT_EQ(database.Scalar("Select CUBS_DATA_FLG From CBASE"), "0");
  // show writes nothing, not even the journal mode, so that a read-only file can be shown.
  connection->Execute("PRAGMA journal_mode=DELETE");
  const auto show = RunKvt710({"show", "1", "--db", db});
  EXPECT_EQ(show.exit_code, 0) << show.err;
  EXPECT_NE(show.out.find("\"CUBS_UNIQUE_KEY\": 1"), std::string::npos) << show.out;
  std::ifstream header(db.substr(db.find('/')), std::ios::binary);
  header.seekg(18);  // the file format's write version: 1 rollback journal, 2 WAL
  EXPECT_EQ(header.get(), 1);
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
  EXPECT_NE(RunKvt710({"import", file, "--db", db}).out.find("imported 30, rejected 0"),
            std::string::npos);
  const std::string before = testing_support::ReadText(db);
  const auto dry = RunKvt710({"delete", "--before", "30000101", "--dry-run", "--db", db});
  EXPECT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_NE(dry.out.find("Would mark 28 customers whose newest visit is before 3000/01/01; "
                         "nothing changed (key, store, newest visit):\n10009\t002\t2014/06/08\n"),
            std::string::npos)
      << dry.out;
  EXPECT_TRUE(testing_support::ReadText(db) == before);
  // The main job: the demo makes its own database and shows its richest customer.
  const auto demo = RunKvt710({"demo", "--customers", "3", "--db", (dir / "demo.db").string()});
  EXPECT_TRUE(demo.out.find("`kvt710 show 1000") != std::string::npos &&
              demo.out.find("imported 3, rejected 0") != std::string::npos)
      << demo.out << demo.err;
}

TEST(ConfigMasking, HidesPasswordsAndNothingElse) {
  // Key, value, shown.
  const std::vector<std::array<std::string, 3>> cases = {
      {"DBPARMS", "postgresql://kvt:s3@db:5432/shop", "postgresql://kvt:***@db:5432/shop"},
      {"ReportPassword", "hunter2", "********"},
      {"db_pwd", "x", "********"},
      {"PASSWD", "x", "********"},
      {"secret", "x", "********"},
      {"Password", "", ""}};
  for (const auto& [key, value, shown] : cases)
    EXPECT_EQ(cli::MaskSetting(key, value), shown) << key;
}

TEST(ConfigCommand, SetListAndGetNeverEchoAPassword) {
  ScopedSettings settings;
  const std::string file = settings.file().string(), sys = "PRW520\\SysParm";
  const std::string common = file + " [QTMS\\Common]", system = file + " [" + sys + "]";
  const std::string connection = "Provider=PostgreSQL;Host=db;User ID=kvt;Password=s3cr3t";
  const std::string masked = "Provider=PostgreSQL;Host=db;User ID=kvt;Password=***";
  // What each config command says, standard output then standard error.
  const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
      {{"set", "DBPARMS", connection}, "DBPARMS=" + masked + " saved in " + common + "\n"},
      {{"set", "area", "2"}, "area=2 saved in " + common + "\n"},
      {{"list"}, "# " + common + "\nDBPARMS=" + masked + "\narea=2\n"},
      {{"get", "dbparms"}, masked + "\n"},
      {{"get", "DBPARMS", "--reveal"}, connection + "\n"},
      {{"path"}, file + "\n"},
      {{"get", "DBPARMC"},
       "kvt710: DBPARMC is not set in " + common + " (kvt710 config set DBPARMC VALUE)\n"},
      // System parameters live in their own section; the value keeps its blank.
      {{"set", "7050", " 12", "--section", sys}, "7050= 12 saved in " + system + "\n"},
      {{"list", "--section", sys}, "# " + system + "\n7050= 12\n"},
  };
  for (auto [args, said] : steps) {
    args.insert(args.begin(), "config");
    const auto run = RunKvt710(args);
    EXPECT_EQ(run.exit_code, run.err.empty() ? 0 : 1) << args[1];
    EXPECT_EQ(run.out + run.err, said);
  }
  // Started with standard input closed (as from cron), the lock file may get descriptor 0.
  const std::string closed = "exec 0<&-; \"" KVT710_BINARY "\" config set area 1 >/dev/null";
  EXPECT_EQ(std::system(closed.c_str()), 0);
}

}  // namespace
}  // namespace kvt710
