// kvt710 config: values are stored exactly, the file is named, and no
// password is ever printed back.
#include <fstream>
#include <sstream>

#include "cli/config.h"
#include "cli/kvt710_process.h"
#include "platform/settings/settings.h"

namespace kvt710 {
namespace {

using testing_support::RunKvt710;
using testing_support::ScopedSettings;

TEST(ConfigMasking, HidesPasswordsAndNothingElse) {
  EXPECT_EQ(cli::MaskSetting("DBPARMS", "Provider=PostgreSQL;Host=db;User ID=kvt;Password=s3;"),
            "Provider=PostgreSQL;Host=db;User ID=kvt;Password=***;");
  EXPECT_EQ(cli::MaskSetting("DBPARMS", "postgresql://kvt:s3@db:5432/shop"),
            "postgresql://kvt:***@db:5432/shop");
  EXPECT_EQ(cli::MaskSetting("DBPARMC", "Provider=SQLite;Data Source=/srv/shop.db"),
            "Provider=SQLite;Data Source=/srv/shop.db");
  EXPECT_EQ(cli::MaskSetting("Password", "hunter2"), "********");
  EXPECT_EQ(cli::MaskSetting("db_pwd", "x"), "********");
  EXPECT_EQ(cli::MaskSetting("area", "1"), "1");
  EXPECT_EQ(cli::MaskSetting("7050", " 12"), " 12");
  EXPECT_EQ(cli::MaskSetting("Password", ""), "");
}

TEST(ConfigCommand, SetListAndGetNeverEchoAPassword) {
  ScopedSettings settings;
  const std::string file = settings.file().string();
  const std::string secret = "s3cr3t-pw";
  const std::string connection =
      "Provider=PostgreSQL;Host=db.shop.lan;Database=shop;User ID=kvt;Password=" + secret;

  auto set = RunKvt710({"config", "set", "DBPARMS", connection});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  EXPECT_NE(set.out.find(file), std::string::npos) << set.out;
  EXPECT_NE(set.out.find("Password=***"), std::string::npos) << set.out;
  EXPECT_EQ((set.out + set.err).find(secret), std::string::npos);
  EXPECT_EQ(Settings(settings.file()).Get(kCommonSection, "DBPARMS"), connection);

  auto password = RunKvt710({"config", "set", "ReportPassword", secret});
  ASSERT_EQ(password.exit_code, 0);
  EXPECT_EQ((password.out + password.err).find(secret), std::string::npos) << password.out;

  ASSERT_EQ(RunKvt710({"config", "set", "area", "2"}).exit_code, 0);
  auto list = RunKvt710({"config", "list"});
  ASSERT_EQ(list.exit_code, 0);
  EXPECT_EQ(list.out.find(secret), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("# " + file + " [QTMS\\Common]"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("\narea=2\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("ReportPassword=********"), std::string::npos) << list.out;

  auto get = RunKvt710({"config", "get", "dbparms"});
  EXPECT_EQ(get.exit_code, 0);
  EXPECT_EQ(get.out.find(secret), std::string::npos);
  EXPECT_EQ(RunKvt710({"config", "get", "DBPARMS", "--reveal"}).out, connection + "\n");
  EXPECT_EQ(RunKvt710({"config", "get", "area"}).out, "2\n");
  EXPECT_EQ(RunKvt710({"config", "path"}).out, file + "\n");

  // A key that is not set: exit 1 naming the file and the key.
  auto missing = RunKvt710({"config", "get", "DBPARMC"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("DBPARMC is not set in " + file), std::string::npos) << missing.err;

  // System parameters live in their own section; the value keeps its blank.
  ASSERT_EQ(RunKvt710({"config", "set", "7050", " 12", "--section", "PRW520\\SysParm"}).exit_code,
            0);
  EXPECT_EQ(Settings(settings.file()).Get(kSysParmSection, "7050"), " 12");
  auto parameters = RunKvt710({"config", "list", "--section", "PRW520\\SysParm"});
  EXPECT_NE(parameters.out.find("\n7050= 12\n"), std::string::npos) << parameters.out;
  EXPECT_EQ(parameters.out.find("area"), std::string::npos);
}

}  // namespace
}  // namespace kvt710
