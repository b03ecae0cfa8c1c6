#include "platform/settings/settings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/automation/error.h"
#include "tests/support/test_support.h"

namespace kvt710 {
namespace {

namespace fs = std::filesystem;

using testing_support::ScopedEnv;
using testing_support::TempDir;

class SettingsTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::string Read() {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  TempDir dir_;
  fs::path file_ = dir_ / "settings.ini";
};

TEST_F(SettingsTest, ValuesAreReadExactlyAsStored) {
  Write(
      "; comment\n"
      "key=outside\n"
      "[QTMS\\Common]\n"
      "area=1\n"
      "lead= 1\n"
      "wide=\xEF\xBC\x91\n"
      "  DBparmC  =Provider=SQLite;Data Source=a=b.db \n"
      "# hidden=1\n"
      "empty=\n"
      "area=2\n"
      "[qtms\\common]\n"
      "other=lower\n");
  Settings s(file_);
  EXPECT_EQ(s.Get(kCommonSection, "area"), "1");
  EXPECT_EQ(s.Get(kCommonSection, "AREA"), "1");
  EXPECT_EQ(s.Get(kCommonSection, "lead"), " 1");
  EXPECT_EQ(s.Get(kCommonSection, "wide"), "\xEF\xBC\x91");
  EXPECT_EQ(s.Get(kCommonSection, "DBPARMC"), "Provider=SQLite;Data Source=a=b.db ");
  EXPECT_EQ(s.Find(kCommonSection, "empty"), std::optional<std::string>(""));
  EXPECT_EQ(s.Find(kCommonSection, "missing"), std::nullopt);
  EXPECT_EQ(s.Find(kCommonSection, "hidden"), std::nullopt);
  EXPECT_EQ(s.Find(kCommonSection, "; comment"), std::nullopt);
  EXPECT_EQ(s.Find(kCommonSection, "key"), std::nullopt);
  EXPECT_EQ(s.Find(kCommonSection, "other"), std::nullopt);  // sections are case-sensitive
  EXPECT_EQ(s.Get("qtms\\common", "other"), "lower");
  EXPECT_EQ(s.Get("Nowhere", "area"), "");
  auto list = s.List(kCommonSection);
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[3].first, "DBparmC");
  EXPECT_EQ(list[5].second, "2");

  EXPECT_EQ(Settings(dir_ / "none.ini").Get(kCommonSection, "area"), "");
  EXPECT_EQ(Settings(dir_.path() / "none" / "x.ini").Find(kCommonSection, "area"), std::nullopt);
}

TEST_F(SettingsTest, ByteOrderMarkAndCrlfAreIgnored) {
  Write("\xEF\xBB\xBF[QTMS\\Common]\r\narea=2\r\nDBPARMS= x \r\n");
  Settings s(file_);
  EXPECT_EQ(s.Get(kCommonSection, "area"), "2");
  EXPECT_EQ(s.Get(kCommonSection, "DBPARMS"), " x ");

  s.Set(kCommonSection, "area", "1");
  s.Set(kCommonSection, "new", "v");
  EXPECT_EQ(Read(), "\xEF\xBB\xBF[QTMS\\Common]\r\narea=1\r\nDBPARMS= x \r\nnew=v\r\n");
}

TEST_F(SettingsTest, SetRewritesOneValueAndKeepsTheRest) {
  Write("; keep me\n[A]\nKey = old\nk2=v2\n\n[B]\nx=1\n");
  Settings s(file_);
  s.Set("A", "key", " new=value ");
  s.Set("A", "added", "3");
  s.Set("B", "y", "2");
  s.Set("PRW520\\SysParm", "7050", "12");
  EXPECT_EQ(Read(),
            "; keep me\n[A]\nKey = new=value \nk2=v2\nadded=3\n\n[B]\nx=1\ny=2\n\n"
            "[PRW520\\SysParm]\n7050=12\n");
  EXPECT_EQ(s.Get("A", "KEY"), " new=value ");
  EXPECT_EQ(s.Get(kSysParmSection, "7050"), "12");
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  for (const auto& entry : fs::directory_iterator(dir_.path())) {  // no temporary files left
    EXPECT_TRUE(entry.path().filename() == "settings.ini" ||
                entry.path().filename() == "settings.ini.lock")
        << entry.path();
  }

  Settings fresh(dir_.path() / "deep" / "er" / "settings.ini");
  fresh.Set(kCommonSection, "area", "1");
  EXPECT_EQ(fresh.Get(kCommonSection, "area"), "1");

  EXPECT_THROW(s.Set("A", "bad=key", "1"), Error);
  EXPECT_THROW(s.Set("A", "key", "two\nlines"), Error);
}

// Writers take turns, each seeing the others' values; a linked file is
// updated where the link leads, and the link stays.
TEST_F(SettingsTest, ConcurrentSetsKeepEveryValueAndFollowLinks) {
  fs::create_directories(dir_ / "real");
  const fs::path link = dir_ / "link.ini";
  fs::create_symlink("real/settings.ini", link);
  std::vector<std::thread> writers;
  for (int i = 0; i < 20; ++i)
    writers.emplace_back([&link, i] {
      Settings(link).Set(kCommonSection, "k" + std::to_string(i), "v" + std::to_string(i));
    });
  for (std::thread& writer : writers) writer.join();
  EXPECT_TRUE(fs::is_symlink(link));
  const Settings target(dir_ / "real" / "settings.ini");
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(target.Get(kCommonSection, "k" + std::to_string(i)), "v" + std::to_string(i)) << i;
}

// A file that has not changed is not parsed again; every edit is still seen.
TEST_F(SettingsTest, EditsAreSeenAtOnceThoughUnchangedFilesAreKept) {
  const auto written_long_ago = [this] {
    const timespec times[2] = {{0, UTIME_OMIT}, {std::time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file_.c_str(), times, 0), 0);
  };
  Settings s(file_);
  Write("[PRW520\\SysParm]\n7050=12\n");
  written_long_ago();
  EXPECT_EQ(s.Get(kSysParmSection, "7050"), "12");
  EXPECT_EQ(s.Get(kSysParmSection, "7050"), "12");

  Write("[PRW520\\SysParm]\n7050=13\n");  // in place, same size
  EXPECT_EQ(s.Get(kSysParmSection, "7050"), "13");
  Write("[PRW520\\SysParm]\n7050=14\n");  // again, within the same clock tick
  EXPECT_EQ(s.Get(kSysParmSection, "7050"), "14");
  written_long_ago();
  EXPECT_EQ(s.Get(kSysParmSection, "7050"), "14");

  fs::remove(file_);
  EXPECT_EQ(s.Find(kSysParmSection, "7050"), std::nullopt);
}

TEST_F(SettingsTest, UnreadableFileReadsAsMissingButCannotBeSet) {
  fs::create_directories(file_);  // a folder where the file should be
  Settings s(file_);
  EXPECT_EQ(s.Get(kCommonSection, "area"), "");
  try {
    s.Set(kCommonSection, "area", "1");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find(file_.string()), std::string::npos) << e.description();
  }
}

TEST(SettingsPathTest, DefaultPathFollowsTheEnvironment) {
  ScopedEnv file("KVT710_SETTINGS", "/tmp/explicit.ini");
  ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
  ScopedEnv home("HOME", "/home/u");
  EXPECT_EQ(Settings::DefaultPath(), fs::path("/tmp/explicit.ini"));
  {
    ScopedEnv empty("KVT710_SETTINGS", "");
    EXPECT_EQ(Settings::DefaultPath(), fs::path("/xdg/ZEPHLEN/settings.ini"));
    EXPECT_EQ(Settings::ForApp("Other").file(), fs::path("/xdg/Other/settings.ini"));
    ScopedEnv no_xdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(Settings::DefaultPath(), fs::path("/home/u/.config/ZEPHLEN/settings.ini"));
  }
}

}  // namespace
}  // namespace kvt710
