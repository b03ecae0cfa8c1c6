// The SQL trace: one JSON line per command text sent, with its outcome, and
// never a connection string or password.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

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

}  // namespace
}  // namespace kvt710::db
