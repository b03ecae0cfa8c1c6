// kvt710 config: values are stored exactly, the file is named, and no
// password is ever printed back.
#include <array>

#include "cli/config.h"
#include "cli/kvt710_process.h"

namespace kvt710 {
namespace {

TEST(ConfigMasking, HidesPasswordsAndNothingElse) {
  const std::vector<std::array<std::string, 3>> cases = {
      // key, value, shown
      {"DBPARMS", "postgresql://kvt:s3@db:5432/shop", "postgresql://kvt:***@db:5432/shop"},
      {"ReportPassword", "hunter2", "********"},
      {"db_pwd", "x", "********"},
      {"PASSWD", "x", "********"},
      {"secret", "x", "********"},
      {"Password", "", ""},
  };
  for (const auto& [key, value, shown] : cases)
    EXPECT_EQ(cli::MaskSetting(key, value), shown) << key;
}

TEST(ConfigCommand, SetListAndGetNeverEchoAPassword) {
  testing_support::ScopedSettings settings;
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
    const auto run = testing_support::RunKvt710(args);
    EXPECT_EQ(run.exit_code, run.err.empty() ? 0 : 1) << args[1];
    EXPECT_EQ(run.out + run.err, said);
  }
  // Started with standard input closed (as from cron), the lock file may get descriptor 0.
  const std::string closed = "exec 0<&-; \"" KVT710_BINARY "\" config set area 1 >/dev/null";
  EXPECT_EQ(std::system(closed.c_str()), 0);
}

}  // namespace
}  // namespace kvt710
