// kvt710 import on an SQLite file that runs out of room (the file capped with
// "Max Page Count"): the customer that meets the full disk is rolled back and
// written to the rejects with the reason, the import stops with exit code 4
// saying where, every customer before stays whole, and a run with room left
// completes the rest.
#include <fstream>
#include <sstream>

#include "cli/import.h"
#include "import_fault_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;
using testing_support::Backend;
using testing_support::DemoLines;
using testing_support::Kvt710Process;
using testing_support::TakeSnapshot;
using testing_support::TempDir;
using testing_support::TestDatabase;

void ImportInProcess(const TestDatabase& database, const std::string& lines) {
  cli::Importer importer(database.connection_string());
  std::istringstream in(lines);
  std::ostringstream rejects;
  cli::ImportStream(importer, in, rejects, nullptr);
  ASSERT_EQ(rejects.str(), "");
}

TEST(ImportStorageFull, StopsAtTheCustomerThatFillsTheFileAndKeepsEveryEarlierOne) {
  testing_support::ScopedSettings settings;
  TempDir dir;
  const std::string input = (dir / "customers.jsonl").string(),
                    rejects_file = (dir / "rejects.jsonl").string();
  std::ofstream(input) << DemoLines(20, 60);

  TestDatabase database(Backend::kSQLite);
  ImportInProcess(database, DemoLines(0, 20));
  const int64_t pages = std::stoll(database.Scalar("PRAGMA page_count"));
  // A few pages of room: some customers fit, then one does not.
  Kvt710Process full({"import", input, "--db",
                      database.connection_string() + ";Max Page Count=" + std::to_string(pages + 6),
                      "--rejects", rejects_file});
  EXPECT_EQ(full.Wait(), 4) << full.err();

  const std::vector<std::string> rejected =
      testing_support::TextLines(testing_support::ReadText(rejects_file));
  ASSERT_EQ(rejected.size(), 1u) << full.err();
  const json reject = json::parse(rejected[0]);
  const int64_t line = reject["line"].get<int64_t>();
  EXPECT_GT(line, 1) << "no customer fitted: give the test more pages";
  EXPECT_NE(reject.dump().find("database or disk is full"), std::string::npos) << reject.dump();
  EXPECT_NE(full.err().find("stopped at line " + std::to_string(line)), std::string::npos)
      << full.err();
  EXPECT_NE(full.err().find("the database is full"), std::string::npos) << full.err();
  EXPECT_NE(full.err().find("import again"), std::string::npos) << full.err();
  EXPECT_EQ(reject["errors"].size(), 1u) << "only the cause: " << reject["errors"].dump();
  EXPECT_NE(full.out().find("imported " + std::to_string(line - 1) + ", rejected 1, "),
            std::string::npos)
      << full.out();
  EXPECT_EQ(database.Scalar("PRAGMA integrity_check"), "ok");

  // Exactly the customers before the full one.
  TestDatabase before(Backend::kSQLite);
  ImportInProcess(before, DemoLines(0, 20 + line - 1));
  EXPECT_TRUE(TakeSnapshot(database) == TakeSnapshot(before));

  // With room again, the same file completes the import.
  Kvt710Process again({"import", input, "--db", database.connection_string()});
  EXPECT_EQ(again.Wait(), 0) << again.err();
  TestDatabase clean(Backend::kSQLite);
  ImportInProcess(clean, DemoLines(0, 60));
  EXPECT_TRUE(TakeSnapshot(database) == TakeSnapshot(clean));
}

TEST(ImportStorageFull, MaxPageCountMustBeANumber) {
  testing_support::ScopedSettings settings;
  TestDatabase database(Backend::kSQLite);
  auto connection = db::Connection::Create();
  try {
    connection->Open(database.connection_string() + ";Max Page Count=lots");
    FAIL() << "opened with a page count that is no number";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("Max Page Count"), std::string::npos) << e.description();
  }
}

}  // namespace
}  // namespace kvt710
