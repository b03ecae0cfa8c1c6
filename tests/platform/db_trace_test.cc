// The SQL trace: one JSON line per command text sent, with its outcome, and
// never a connection string or password.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/db/connection.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;

// Each line of `file`, parsed: its text and " ok" or " failed".
std::vector<std::string> Lines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  for (const std::string& line : testing_support::ReadLines(file)) {
    const nlohmann::json json = nlohmann::json::parse(line);
    lines.push_back(json["sql"].get<std::string>() + (json["ok"].get<bool>() ? " ok" : " failed"));
  }
  return lines;
}

// The file is opened once and kept while the variable names it: lines go to
// the file opened, wherever it has been moved, until the variable names
// another path.
TEST(DbTraceTest, OneJsonLinePerTextToTheFileOpenedUntilThePathChanges) {
  TempDir dir;
  const auto first = dir / "first.jsonl", moved = dir / "moved.jsonl",
             second = dir / "second.jsonl";
  const std::string db = "Provider=SQLite;Data Source=" + (dir / "t.db").string();
  const std::string odd = "SELECT 'a\"b\\c\td\x01\n全角\u3000' AS V";
  auto cn = Connection::Create();
  {
    ScopedEnv tracing("KVT710_TRACE_SQL", first.string());
    EXPECT_THROW(cn->Execute("SELECT 0"), Error);  // closed: nothing is sent
    EXPECT_THROW(cn->Open(db + ";Mode=ReadWriteCreate;Password=hunter2"), Error);
  }
  cn->Open(db + ";Mode=ReadWriteCreate");
  {
    ScopedEnv tracing("KVT710_TRACE_SQL", first.string());
    EXPECT_THROW(cn->Execute("INSERT INTO NOPE VALUES (1)"), Error);
    std::filesystem::rename(first, moved);
    cn->OpenRecordset(odd, CursorType::kStatic, LockType::kReadOnly);
    {
      ScopedEnv other("KVT710_TRACE_SQL", second.string());
      cn->Execute("SELECT '\xff'");  // not UTF-8: the trace stays valid JSON
    }
    cn->Execute("SELECT 4");
  }
  cn->Execute("SELECT 5");  // not traced
  // The connection's own settings statements are sent by the backend, not traced.
  using Texts = std::vector<std::string>;
  EXPECT_EQ(Lines(moved), (Texts{"INSERT INTO NOPE VALUES (1) failed", odd + " ok"}));
  EXPECT_EQ(Lines(second), Texts{"SELECT '\xEF\xBF\xBD' ok"});
  EXPECT_EQ(Lines(first), Texts{"SELECT 4 ok"});
  const std::string raw = testing_support::ReadText(moved);
  EXPECT_NE(raw.find("\\u0001"), std::string::npos);
  EXPECT_EQ(raw.find("hunter2"), std::string::npos);
  EXPECT_EQ(raw.find("Provider"), std::string::npos);
}

}  // namespace
}  // namespace kvt710::db
