// Hostile settings and connection strings: a settings file that is missing,
// unreadable or malformed leaves a batch object with DBStatus -1 and its
// message or a report, never a crash; quoted connection-string values with
// ";" and quotes inside open the database they name or fail clearly; and a
// password never appears in a message, a report or the SQL trace.
#include <filesystem>
#include <fstream>
#include <random>

#include "batch/KVT710C3.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/settings/settings.h"
#include "platform/sibling/prw520.h"
#include "test_support.h"

namespace kvt710 {
namespace {

namespace fs = std::filesystem;
using testing_support::Backend;
using testing_support::ScopedEnv;
using testing_support::ScopedSettings;
using testing_support::TempDir;

// Every report that reaches an error reporter, as one text to search.
class ReportText {
 public:
  ReportText()
      : handle_(ListenForReports([this](const Report& r) {
          ++count;
          text += r.source + "|" + r.error_description + "|" + r.error_source + "|";
          for (const ReportedProviderError& e : r.errors) text += e.description + "|" + e.source;
          text += "\n";
        })) {}
  int count = 0;
  std::string text;

 private:
  std::shared_ptr<void> handle_;
};

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Common(const std::string& area, const std::string& connection_string) {
  return "[QTMS\\Common]\narea=" + area + "\nDBPARMC=" + connection_string + "\n";
}

// The batch object made from the settings at `file`, its reports counted.
struct Created {
  std::shared_ptr<KVT710C3> batch;
  int reports = 0;
};
Created CreateFrom(const fs::path& file) {
  ScopedEnv env("KVT710_SETTINGS", file.string());
  ReportText log;
  Created created{KVT710C3::Create(), 0};
  created.reports = log.count;
  return created;
}

TEST(HostileSettings, MissingOrUnreadableFileAsksForTheArea) {
  TempDir dir;
  fs::create_directory(dir / "folder.ini");
  WriteFile(dir / "plain", "area=1\n");
  fs::create_symlink(dir / "loop-b", dir / "loop-a");
  fs::create_symlink(dir / "loop-a", dir / "loop-b");
  for (const fs::path& file : {dir / "none.ini", dir / "no/such/folder/settings.ini",
                               dir / "folder.ini", dir / "plain/settings.ini", dir / "loop-a"}) {
    const Created c = CreateFrom(file);
    EXPECT_EQ(c.batch->DBStatus(), emDbError) << file;
    EXPECT_EQ(c.batch->DBStatusString(), kAreaMessage) << file;
    EXPECT_EQ(c.reports, 0) << file;
  }
  // No settings variable and an empty configuration folder: the default place is missing.
  ScopedEnv no_file("KVT710_SETTINGS", std::nullopt);
  ScopedEnv config("XDG_CONFIG_HOME", (dir / "empty-config").string());
  EXPECT_EQ(KVT710C3::Create()->DBStatusString(), kAreaMessage);
}

TEST(HostileSettings, MalformedFilesGiveTheirMessageOrAReport) {
  TempDir dir;
  const std::string database = "Provider=SQLite;Data Source=" + (dir / "shop.db").string();
  const std::string nul_database = "Provider=SQLite;Data Source=" + (dir / "nul.db").string();
  WriteFile(dir / "shop.db", "");  // an empty file is an empty database
  std::mt19937 random(710);
  std::string garbage(256 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const std::string huge_line(16 * 1024 * 1024, 'x');
  using namespace std::string_literals;

  struct Case {
    const char* name;
    std::string bytes;
    const char* message;  // the expected DBStatusString; nullptr: a report instead
  };
  const std::vector<Case> cases = {
      {"binary garbage", garbage, kAreaMessage},
      {"lines without =", "[QTMS\\Common]\narea\nDBPARMC\n", kAreaMessage},
      {"unterminated section", "[QTMS\\Common\narea=1\nDBPARMC=" + database, kAreaMessage},
      {"empty key", "[QTMS\\Common]\n=1\n", kAreaMessage},
      {"value after two =", "[QTMS\\Common]\narea==1\n", kAreaMessage},
      {"NUL after the area", "[QTMS\\Common]\narea=1\0\n"s, kAreaMessage},
      {"NUL in a key", "[QTMS\\Common]\nar\0ea=1\n"s, kAreaMessage},
      {"area without its string", "[QTMS\\Common]\narea=1\nDBPARMS=" + database,
       kConnectionStringMessage},
      {"huge string", Common("1", huge_line), nullptr},
      {"NUL inside the string", Common("1", nul_database + "\0/x.db"s), nullptr},
      {"unterminated quote", Common("1", "Provider=SQLite;Data Source=\"" + database), nullptr},
      {"unknown key", Common("1", database + ";Prepared Statement=false"), nullptr},
      {"garbage around", garbage.substr(0, 4096) + "\n" + Common("1", database) + garbage, ""},
      {"huge line first", huge_line + "\n" + Common("1", database), ""},
      {"CRLF and a byte-order mark",
       "\xEF\xBB\xBF[QTMS\\Common]\r\narea=1\r\nDBPARMC=" + database + "\r\n", ""},
  };
  for (const Case& c : cases) {
    const fs::path file = dir / "settings.ini";
    WriteFile(file, c.bytes);
    const Created created = CreateFrom(file);
    if (c.message == nullptr) {
      EXPECT_EQ(created.batch->DBStatus(), emDbError) << c.name;
      EXPECT_EQ(created.batch->DBStatusString(), "") << c.name;
      EXPECT_EQ(created.reports, 1) << c.name;
    } else {
      EXPECT_EQ(created.batch->DBStatus(), *c.message ? emDbError : emDbNomal) << c.name;
      EXPECT_EQ(created.batch->DBStatusString(), c.message) << c.name;
      EXPECT_EQ(created.reports, 0) << c.name;
    }
  }
  // The NUL case did not open the file named before the NUL.
  EXPECT_FALSE(fs::exists(dir / "nul.db"));
}

TEST(HostileSettings, QuotedValuesHoldSemicolonsAndQuotes) {
  TempDir dir;
  // Double quotes inside double quotes are doubled; so are single quotes inside single quotes.
  const std::string name1 = "a;b'c\"d.db", name2 = "x;y'z.db";
  const std::string folder = dir.path().string() + "/";
  for (const auto& [connection_string, name] :
       {std::pair{
            "Provider=SQLite;Data Source=\"" + folder + "a;b'c\"\"d.db\";Mode=ReadWriteCreate",
            name1},
        std::pair{"Provider=SQLite;Data Source='" + folder + "x;y''z.db';Mode=ReadWriteCreate",
                  name2}}) {
    ScopedSettings settings;
    settings.UseConnection(connection_string);
    EXPECT_EQ(KVT710C3::Create()->DBStatus(), emDbNomal) << connection_string;
    EXPECT_TRUE(fs::exists(dir / name)) << name;
  }

  // A value whose closing quote is missing fails clearly, naming no part of the string.
  auto connection = db::Connection::Create();
  try {
    connection->Open("Provider=SQLite;Data Source=\"" + folder + "q;r.db");
    ADD_FAILURE() << "opened a string with an unterminated quote";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kBadConnectionString);
    EXPECT_EQ(e.description().find(folder), std::string::npos) << e.description();
  }

  const auto backends = testing_support::TestBackends();
  if (std::find(backends.begin(), backends.end(), Backend::kPostgreSQL) == backends.end()) return;
  // On PostgreSQL the application name carries ";" and both quotes to the server.
  const db::ConnectionParameters admin = db::ParseConnectionString(std::getenv("KVT710_TEST_PG"));
  auto value = [&](const char* key) { return admin.Find(key).value_or(""); };
  const std::string pg = "Provider=PostgreSQL;Host=" + value("Host") + ";Port=" + value("Port") +
                         ";Database=\"" + value("Database") + "\";User ID='" + value("User ID") +
                         "';Password=\"" + value("Password") +
                         "\";Application Name=\"kvt;710 'x' \"\"y\"\"\"";
  auto server = db::Connection::Create();
  server->Open(pg);
  auto rs = server->OpenRecordset("SHOW application_name", db::CursorType::kStatic,
                                  db::LockType::kReadOnly);
  EXPECT_EQ(rs->Field("application_name").ToString(), "kvt;710 'x' \"y\"");
  ScopedSettings settings;
  settings.UseConnection(pg);
  EXPECT_EQ(KVT710C3::Create()->DBStatus(), emDbNomal);
}

TEST(HostileSettings, PasswordNeverInMessagesReportsOrTrace) {
  TempDir dir;
  const std::string password = "Pa55-left;right'quo\"te-Z9";
  const std::string quoted = "\"Pa55-left;right'quo\"\"te-Z9\"";
  const std::vector<std::string> pieces = {password,     "Pa55-left",    "right'quo",
                                           "quo\"te-Z9", "quo\"\"te-Z9", "Pa55-left%3B"};
  using namespace std::string_literals;
  const fs::path trace = dir / "trace.jsonl";
  ScopedEnv tracing("KVT710_TRACE_SQL", trace.string());
  const std::string folder = dir.path().string() + "/";

  std::vector<std::string> strings = {
      // Opens, then a writer reads and fails on the own connection.
      "Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + folder + "shop.db",
      // SQLite takes no password: refused as an unknown key.
      "Provider=SQLite;Data Source=" + folder + "shop.db;Password=" + quoted,
      // The database cannot be opened.
      "Provider=SQLite;Password=" + quoted + ";Data Source=" + folder + "no/such/shop.db",
      // The string cannot be read: the quote never closes.
      "Provider=SQLite;Password=\"Pa55-left;right'quo\"\"te-Z9;Data Source=x.db",
      "Provider=Nowhere;Password=" + quoted,
      "Provider=SQLite;Password=" + quoted + "\0;Data Source=x.db"s,
  };
  const auto backends = testing_support::TestBackends();
  if (std::find(backends.begin(), backends.end(), Backend::kPostgreSQL) != backends.end()) {
    const db::ConnectionParameters admin = db::ParseConnectionString(std::getenv("KVT710_TEST_PG"));
    const std::string host = admin.Find("Host").value_or(""),
                      port = admin.Find("Port").value_or("");
    const std::string database = admin.Find("Database").value_or("");
    const std::string user = admin.Find("User ID").value_or("");
    // The server refuses the password; and the user named like the password.
    strings.push_back("Provider=PostgreSQL;Host=" + host + ";Port=" + port +
                      ";Database=" + database + ";User ID=" + user + ";Password=" + quoted);
    strings.push_back("postgresql://" + user + ":Pa55-left%3Bright'quo%22te-Z9@" + host + ":" +
                      port + "/" + database);
    strings.push_back("Provider=PostgreSQL;Host=" + host + ";Port=" + port +
                      ";Database=" + database + ";User ID=" + quoted + ";Password=" + quoted);
  }

  std::string output;
  for (const std::string& connection_string : strings) {
    ScopedSettings settings;
    settings.UseConnection(connection_string);
    ReportText log;
    auto batch = KVT710C3::Create();
    output += batch->DBStatusString() + "\n";
    BaseDataParams params;
    params.UniqueKey = "1";
    EXPECT_EQ(batch->SetBaseData(params), -1) << connection_string;  // no schema, or no connection
    try {
      auto connection = db::Connection::Create();
      connection->Open(connection_string);
      connection->Execute("Select * From NO_SUCH_TABLE");
    } catch (const Error& e) {
      output += e.description() + "|" + e.source() + "\n";
    }
    EXPECT_GE(log.count, 1) << connection_string;
    output += log.text;
  }
  output += ReadFile(trace);
  EXPECT_NE(output.find("NO_SUCH_TABLE"), std::string::npos);  // the trace was written
  for (const std::string& piece : pieces)
    EXPECT_EQ(output.find(piece), std::string::npos) << "'" << piece << "' in:\n" << output;
}

}  // namespace
}  // namespace kvt710
