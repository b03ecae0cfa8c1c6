// Several kvt710 import processes on one database at once, their files
// overlapping (the same customers in several files, in different orders): no
// customer is lost, doubled or mixed, and the database ends as one import of
// all customers leaves it. Conflicts are retried or reported, never lost.
#include <fstream>
#include <memory>
#include <sstream>

#include "cli/import.h"
#include "import_fault_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::DemoLines;
using testing_support::Kvt710Process;
using testing_support::TakeSnapshot;
using testing_support::TempDir;
using testing_support::TestDatabase;

// The demo's documents come in blocks of 20 whose family members and
// deletions refer only to documents before them in the same block; blocks
// in any order, each in its own order, give the same database.
constexpr int64_t kBlock = 20;

std::string Blocks(const std::vector<int64_t>& blocks) {
  std::string lines;
  for (int64_t b : blocks) lines += DemoLines(b * kBlock, (b + 1) * kBlock);
  return lines;
}

class ImportConcurrency : public ::testing::TestWithParam<Backend> {
 protected:
  testing_support::ScopedSettings settings_;
};

TEST_P(ImportConcurrency, OverlappingImportsEndAsOneImportOfEveryCustomer) {
  const std::vector<std::vector<int64_t>> files = {
      {0, 1, 2, 3}, {3, 2, 1, 0}, {1, 3, 0, 2}, {2, 0, 1}};
  TempDir dir;
  TestDatabase clean(GetParam());
  {
    cli::Importer importer(clean.connection_string());
    std::istringstream in(Blocks({0, 1, 2, 3}));
    std::ostringstream rejects;
    EXPECT_EQ(cli::ImportStream(importer, in, rejects, nullptr).rejected, 0) << rejects.str();
  }
  const testing_support::Snapshot expected = TakeSnapshot(clean);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TestDatabase database(GetParam());
    std::vector<std::unique_ptr<Kvt710Process>> imports;
    std::vector<std::string> rejects_files;
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string input = (dir / ("customers" + std::to_string(i) + ".jsonl")).string();
      rejects_files.push_back((dir / ("rejects" + std::to_string(i) + ".jsonl")).string());
      std::ofstream(input) << Blocks(files[i]);
      imports.push_back(std::make_unique<Kvt710Process>(
          std::vector<std::string>{"import", input, "--db", database.connection_string(),
                                   "--rejects", rejects_files.back()}));
    }
    for (size_t i = 0; i < imports.size(); ++i) {
      const int64_t customers = static_cast<int64_t>(files[i].size()) * kBlock;
      EXPECT_EQ(imports[i]->Wait(), 0) << imports[i]->err();
      EXPECT_NE(imports[i]->out().find("imported " + std::to_string(customers) + ", rejected 0"),
                std::string::npos)
          << imports[i]->out();
      EXPECT_EQ(testing_support::ReadText(rejects_files[i]), "");
    }
    const testing_support::Snapshot stored = TakeSnapshot(database);
    EXPECT_TRUE(stored == expected) << testing_support::SnapshotDifference(expected, stored);
    if (GetParam() == Backend::kSQLite) {
      EXPECT_EQ(database.Scalar("PRAGMA integrity_check"), "ok");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportConcurrency,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
