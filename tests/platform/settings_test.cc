// The settings file: reading values exactly as stored, rewriting one value
// in place under a lock (through links), where the file is, values held in
// memory; and hostile files that leave a batch object with its message or a
// report, never a crash.
#include "platform/settings/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <random>
#include <thread>

#include "batch/KVT710C3.h"
#include "platform/sibling/prw520.h"
#include "tests/support/test_support.h"

namespace kvt710 {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadText;
using testing_support::ScopedEnv;
using testing_support::TempDir;

void Write(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

TEST(SettingsTest, ReadsValuesAsStoredAndRewritesOneInPlace) {
  TempDir dir;
  const fs::path file = dir / "settings.ini";
  Write(file,
        "\xEF\xBB\xBF; comment\r\nkey=outside\r\n[QTMS\\Common]\r\narea=1\r\nlead= 1\r\n"
        "  DBparmC  =Provider=SQLite;Data Source=a=b.db \r\n# hidden=1\r\nempty=\r\narea=2\r\n"
        "[qtms\\common]\r\nother=lower\r\n");
  Settings s(file);
  const std::pair<const char*, std::optional<std::string>> common[] = {
      {"AREA", "1"},  // the first of a repeated key
      {"lead", " 1"},        {" dbparmc ", "Provider=SQLite;Data Source=a=b.db "},
      {"empty", ""},         {"hidden", std::nullopt},
      {"key", std::nullopt}, {"other", std::nullopt}};
  for (const auto& [key, value] : common) EXPECT_EQ(s.Find(kCommonSection, key), value) << key;
  EXPECT_EQ(s.Find("qtms\\common", "other"), "lower");  // sections are case-sensitive
  EXPECT_EQ(s.Find("Nowhere", "area"), std::nullopt);
  ASSERT_EQ(s.List(kCommonSection).size(), 5u);           // no comment among them
  EXPECT_EQ(s.List(kCommonSection)[2].first, "DBparmC");  // as written

  s.Set(kCommonSection, "AREA", " new=value ");
  s.Set(kCommonSection, "added", "3");
  s.Set(kSysParmSection, "7050", "12");
  EXPECT_EQ(
      ReadText(file),
      "\xEF\xBB\xBF; comment\r\nkey=outside\r\n[QTMS\\Common]\r\narea= new=value \r\n"
      "lead= 1\r\n  DBparmC  =Provider=SQLite;Data Source=a=b.db \r\n# hidden=1\r\nempty=\r\n"
      "area=2\r\nadded=3\r\n[qtms\\common]\r\nother=lower\r\n\r\n[PRW520\\SysParm]\r\n7050=12\r\n");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  for (const auto& entry : fs::directory_iterator(dir.path()))  // no temporary file is left
    EXPECT_TRUE(entry.path().filename() == "settings.ini" || entry.path().extension() == ".lock");
  EXPECT_THROW(s.Set("A", "bad=key", "1"), Error);
  EXPECT_THROW(s.Set("A", "key", "two\nlines"), Error);

  Settings fresh(dir / "deep" / "er" / "settings.ini");
  fresh.Set(kCommonSection, "area", "1");
  EXPECT_EQ(fresh.Get(kCommonSection, "area"), "1");
}

// Writers take turns, each seeing the others' values; a linked file is
// updated where the link leads, and the link stays.
TEST(SettingsTest, ConcurrentSetsKeepEveryValueAndFollowLinks) {
  TempDir dir;
  fs::create_directories(dir / "real");
  const fs::path link = dir / "link.ini";
  fs::create_symlink("real/settings.ini", link);
  std::vector<std::thread> writers;
  for (int i = 0; i < 20; ++i)
    writers.emplace_back([&link, i] {
      Settings(link).Set(kCommonSection, "k" + std::to_string(i), "v" + std::to_string(i));
    });
  for (std::thread& writer : writers) writer.join();
  EXPECT_TRUE(fs::is_symlink(link));
  const Settings target(dir / "real" / "settings.ini");
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(target.Get(kCommonSection, "k" + std::to_string(i)), "v" + std::to_string(i)) << i;
}

// A file that has not changed is not parsed again; every edit is still seen,
// even one of the same size within the same clock tick.
TEST(SettingsTest, EditsAreSeenAtOnceThoughUnchangedFilesAreKept) {
  TempDir dir;
  const fs::path file = dir / "settings.ini";
  Settings s(file);
  // The value written (none: the same file), and whether it is dated an hour back.
  for (auto [value, old] : {std::pair{"12", true}, {"13", false}, {"14", false}, {"", true}}) {
    if (*value) Write(file, "[PRW520\\SysParm]\n7050=" + std::string(value) + "\n");
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    ASSERT_EQ(old ? utimensat(AT_FDCWD, file.c_str(), times, 0) : 0, 0);
    EXPECT_EQ(s.Get(kSysParmSection, "7050"), *value ? value : "14");
  }
  fs::remove(file);
  EXPECT_EQ(s.Find(kSysParmSection, "7050"), std::nullopt);
}

TEST(SettingsTest, PathFromTheEnvironmentAndValuesInMemoryFirst) {
  TempDir dir;
  ScopedEnv file("KVT710_SETTINGS", (dir / "settings.ini").string());
  ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
  ScopedEnv home("HOME", "/home/u");
  EXPECT_EQ(Settings::DefaultPath(), dir / "settings.ini");
  {
    ScopedEnv empty("KVT710_SETTINGS", "");
    EXPECT_EQ(Settings::ForApp("Other").file(), fs::path("/xdg/Other/settings.ini"));
    ScopedEnv no_xdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(Settings::DefaultPath(), fs::path("/home/u/.config/ZEPHLEN/settings.ini"));
  }
  Settings(Settings::DefaultPath()).Set(kCommonSection, "DBPARMS", "from the file");
  Settings layered = Settings::WithValues({{kCommonSection, "AREA", "1"}}, Settings::DefaultPath());
  EXPECT_EQ(layered.List(kCommonSection),  // the file's keys, then those only in memory
            (std::vector<std::pair<std::string, std::string>>{{"DBPARMS", "from the file"},
                                                              {"AREA", "1"}}));
  layered.Set(kCommonSection, "area", "2");  // written to the file; the value in memory comes first
  EXPECT_EQ(layered.Get(kCommonSection, "area"), "1");
  EXPECT_EQ(Settings(Settings::DefaultPath()).Get(kCommonSection, "area"), "2");
  EXPECT_THROW(Settings::WithValues({{kCommonSection, "a", "1"}}).Set(kCommonSection, "a", "2"),
               Error);
}

// The batch object made from the settings at `file`: its status message, or
// "report" when it reported instead, or "opened".
std::string StatusFrom(const fs::path& file) {
  ScopedEnv env("KVT710_SETTINGS", file.string());
  std::string reports;
  const auto listening = ListenForReports([&](const Report& r) {
    reports += r.error_description + "|";
    for (const ReportedProviderError& e : r.errors) reports += e.description + "|";
  });
  const auto batch = KVT710C3::Create();
  EXPECT_EQ(reports.find("hunter"), std::string::npos) << reports;  // no password in a report
  if (batch->DBStatus() == emDbNomal) return reports.empty() ? "opened" : "opened, " + reports;
  return reports.empty() ? batch->DBStatusString() : batch->DBStatusString() + "report";
}

TEST(HostileSettings, MalformedFilesGiveTheirMessageOrAReport) {
  TempDir dir;
  const std::string db = "Provider=SQLite;Data Source=" + (dir / "shop.db").string();
  Write(dir / "shop.db", "");  // an empty file is an empty database
  std::mt19937 random(710);
  std::string garbage(256 * 1024, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const std::string huge(16 * 1024 * 1024, 'x');
  const auto common = [](const std::string& text) {
    return "[QTMS\\Common]\narea=1\nDBPARMC=" + text;
  };
  using namespace std::string_literals;
  const struct {
    std::string bytes, status;
  } cases[] = {
      {garbage, kAreaMessage},
      {"[QTMS\\Common]\narea\nDBPARMC\n", kAreaMessage},
      {"[QTMS\\Common\narea=1\nDBPARMC=" + db, kAreaMessage},
      {"[QTMS\\Common]\n=1\n", kAreaMessage},
      {"[QTMS\\Common]\narea=1\0\n"s, kAreaMessage},
      {"[QTMS\\Common]\nar\0ea=1\n"s, kAreaMessage},
      {common(huge), "report"},
      {common("Provider=SQLite;Data Source=" + (dir / "nul.db").string() + "\0/x.db"s), "report"},
      {common("Provider=SQLite;Password=\"hunter2;Data Source=" + db), "report"},
      {common(db + ";Prepared Statement=false;Password=hunter2"), "report"},
      {garbage.substr(0, 4096) + "\n" + common(db) + "\n" + garbage, "opened"},
      {huge + "\n" + common(db), "opened"},
      {"\xEF\xBB\xBF[QTMS\\Common]\r\narea=1\r\nDBPARMC=" + db + "\r\n", "opened"},
  };
  for (const auto& c : cases) {
    Write(dir / "settings.ini", c.bytes);
    EXPECT_EQ(StatusFrom(dir / "settings.ini"), c.status) << c.bytes.substr(0, 60);
  }
  EXPECT_FALSE(fs::exists(dir / "nul.db"));  // the name before a NUL is not opened

  // Missing or unreadable files ask for the area, as an empty one does.
  fs::create_directory(dir / "folder.ini");
  fs::create_symlink(dir / "loop-b", dir / "loop-a");
  fs::create_symlink(dir / "loop-a", dir / "loop-b");
  for (const char* file : {"none.ini", "no/such/settings.ini", "folder.ini", "shop.db/x", "loop-a"})
    EXPECT_EQ(StatusFrom(dir / file), kAreaMessage) << file;
}

}  // namespace
}  // namespace kvt710
