// kvt710 config: values are stored exactly, the file is named, and no
// password is ever printed back.
#include <array>

#include "cli/config.h"
#include "cli/kvt710_process.h"
#include "platform/settings/settings.h"

namespace kvt710 {
namespace {

using testing_support::RunKvt710;

TEST(ConfigMasking, HidesPasswordsAndNothingElse) {
  const std::vector<std::array<std::string, 3>> cases = {
      // key, value, shown
      {"DBPARMS", "Provider=PostgreSQL;User ID=kvt;Password=s3;",
       "Provider=PostgreSQL;User ID=kvt;Password=***;"},
      {"DBPARMS", "postgresql://kvt:s3@db:5432/shop", "postgresql://kvt:***@db:5432/shop"},
      {"DBPARMC", "Provider=SQLite;Data Source=/srv/shop.db",
       "Provider=SQLite;Data Source=/srv/shop.db"},
      {"ReportPassword", "hunter2", "********"},
      {"db_pwd", "x", "********"},
      {"PASSWD", "x", "********"},
      {"secret", "x", "********"},
      {"7050", " 12", " 12"},
      {"Password", "", ""},
  };
  for (const auto& [key, value, shown] : cases)
    EXPECT_EQ(cli::MaskSetting(key, value), shown) << key;
}

TEST(ConfigCommand, SetListAndGetNeverEchoAPassword) {
  testing_support::ScopedSettings settings;
  const std::string file = settings.file().string(), secret = "s3cr3t-pw";
  const std::string connection = "Provider=PostgreSQL;Host=db;User ID=kvt;Password=" + secret;
  auto set = RunKvt710({"config", "set", "DBPARMS", connection});
  EXPECT_EQ(set.out, "DBPARMS=Provider=PostgreSQL;Host=db;User ID=kvt;Password=*** saved in " +
                         file + " [QTMS\\Common]\n");
  EXPECT_EQ(Settings(settings.file()).Get(kCommonSection, "DBPARMS"), connection);
  ASSERT_EQ(RunKvt710({"config", "set", "area", "2"}).exit_code, 0);
  EXPECT_EQ(RunKvt710({"config", "list"}).out,
            "# " + file +
                " [QTMS\\Common]\nDBPARMS=Provider=PostgreSQL;Host=db;User ID=kvt;"
                "Password=***\narea=2\n");
  EXPECT_EQ(RunKvt710({"config", "get", "dbparms"}).out.find(secret), std::string::npos);
  EXPECT_EQ(RunKvt710({"config", "get", "DBPARMS", "--reveal"}).out, connection + "\n");
  EXPECT_EQ(RunKvt710({"config", "path"}).out, file + "\n");
  auto missing = RunKvt710({"config", "get", "DBPARMC"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("DBPARMC is not set in " + file), std::string::npos) << missing.err;
  // System parameters live in their own section; the value keeps its blank.
  ASSERT_EQ(RunKvt710({"config", "set", "7050", " 12", "--section", "PRW520\\SysParm"}).exit_code,
            0);
  EXPECT_EQ(Settings(settings.file()).Get(kSysParmSection, "7050"), " 12");
  EXPECT_EQ(RunKvt710({"config", "list", "--section", "PRW520\\SysParm"}).out,
            "# " + file + " [PRW520\\SysParm]\n7050= 12\n");
}

}  // namespace
}  // namespace kvt710
