// The SQL trace: one JSON line per command text sent, with its outcome, and
// never a connection string or password.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;

TEST(DbTraceTest, WritesOneJsonLinePerTextSent) {
  TempDir dir;
  const auto trace = dir / "trace.jsonl";
  ScopedEnv tracing("KVT710_TRACE_SQL", trace.string());
  const std::string odd = "SELECT 'a\"b\\c\td\x01\n全角\u3000' AS V";

  auto cn = Connection::Create();
  EXPECT_THROW(cn->Execute("SELECT 0"), Error);  // closed: nothing is sent
  cn->Open("Provider=SQLite;Data Source=" + (dir / "t.db").string() + ";Mode=ReadWriteCreate");
  cn->Execute("CREATE TABLE T (A)");
  EXPECT_THROW(cn->Execute("INSERT INTO NOPE VALUES (1)"), Error);
  cn->OpenRecordset(odd, CursorType::kStatic, LockType::kReadOnly);
  cn->Execute("INSERT INTO T VALUES ('\xff')");  // not UTF-8: the trace stays valid JSON
  cn->Close();

  std::ifstream in(trace, std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all.find("Provider"), std::string::npos);

  std::vector<nlohmann::json> lines;
  std::istringstream text(all);
  for (std::string line; std::getline(text, line);) lines.push_back(nlohmann::json::parse(line));
  // The connection's own settings statements are sent by the backend, not traced.
  ASSERT_EQ(lines.size(), 4u) << all;
  EXPECT_EQ(lines[0], (nlohmann::json{{"sql", "CREATE TABLE T (A)"}, {"ok", true}}));
  EXPECT_EQ(lines[1], (nlohmann::json{{"sql", "INSERT INTO NOPE VALUES (1)"}, {"ok", false}}));
  EXPECT_EQ(lines[2]["sql"], odd);
  EXPECT_EQ(lines[2]["ok"], true);
  EXPECT_EQ(lines[3]["sql"], "INSERT INTO T VALUES ('\xEF\xBF\xBD')");
  EXPECT_NE(all.find("\\u0001"), std::string::npos);
}

// The trace file is opened once and kept while the variable names it: lines
// go to the file opened, wherever it has been moved, until the variable names
// another path. Lines of connections on several threads never interleave.
TEST(DbTraceTest, KeepsItsFileUntilThePathChangesAndWritesWholeLines) {
  TempDir dir;
  const auto first = dir / "first.jsonl", moved = dir / "moved.jsonl",
             second = dir / "second.jsonl";
  const std::string db = "Provider=SQLite;Data Source=" + (dir / "t.db").string();
  auto cn = Connection::Create();
  cn->Open(db + ";Mode=ReadWriteCreate");
  const auto lines_of = [](const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(nlohmann::json::parse(line)["sql"]);
    return lines;
  };
  {
    ScopedEnv tracing("KVT710_TRACE_SQL", first.string());
    cn->Execute("SELECT 1");
    std::filesystem::rename(first, moved);
    cn->Execute("SELECT 2");
    {
      ScopedEnv other("KVT710_TRACE_SQL", second.string());
      cn->Execute("SELECT 3");
    }
    cn->Execute("SELECT 4");
  }
  cn->Execute("SELECT 5");  // not traced
  EXPECT_EQ(lines_of(moved), (std::vector<std::string>{"SELECT 1", "SELECT 2"}));
  EXPECT_EQ(lines_of(second), (std::vector<std::string>{"SELECT 3"}));
  EXPECT_EQ(lines_of(first), (std::vector<std::string>{"SELECT 4"}));

  ScopedEnv tracing("KVT710_TRACE_SQL", second.string());
  constexpr int kThreads = 4, kEach = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto own = Connection::Create();
      own->Open(db);
      // Longer than any buffer, so that a line written in parts would show.
      const std::string text = "SELECT '" + std::string(100000, static_cast<char>('a' + t)) + "'";
      for (int i = 0; i < kEach; ++i) own->Execute(text);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> lines = lines_of(second);  // each line parses whole
  ASSERT_EQ(lines.size(), 1u + kThreads * kEach);
  for (size_t i = 1; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].find_first_not_of(lines[i][8], 8), lines[i].size() - 1) << i;
}

}  // namespace
}  // namespace kvt710::db
