// The loadable module kvt710_sqlite in the stock sqlite3 shell: on a
// database that the component filled, the shell can check, change and
// vacuum the date columns, and the deletion sweep's date comparison selects
// the rows that the component selects.
#include <cstdio>
#include <sstream>

#include "cli/demo_data.h"
#include "cli/import.h"
#include "deletion/deletion_statements.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::TestDatabase;

// The sqlite3 shell's standard output and error for `sql` on `file`, with
// the module loaded by its name without suffix, as a person types it.
std::string Shell(const std::string& file, const std::string& sql) {
  std::string module = KVT710_SQLITE_MODULE;
  module = module.substr(0, module.rfind(".so"));
  const std::string command =
      "sqlite3 '" + file + "' -cmd '.load " + module + "' \"" + sql + "\" 2>&1";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "cannot run sqlite3";
  char buffer[4096];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  pclose(pipe);
  return output;
}

TEST(SqliteModule, StockShellChecksVacuumsAndComparesDatesAsTheComponent) {
  TestDatabase database(Backend::kSQLite);
  cli::Importer importer(database.connection_string());
  cli::DemoCustomerStream lines(3, 150);
  std::ostringstream rejects;
  ASSERT_EQ(cli::ImportStream(importer, lines, rejects, nullptr).rejected, 0) << rejects.str();

  const std::string sweep = "SELECT CUBS_UNIQUE_KEY FROM (" +
                            deletion::SelectionByDate(20140101, std::nullopt) +
                            ") ORDER BY CUBS_NEWBST_COMING, CUBS_UNIQUE_KEY";
  std::string expected;
  for (const std::string& key : database.Column(sweep)) expected += key + "\n";
  ASSERT_NE(expected, "");

  const std::string file =
      *db::ParseConnectionString(database.connection_string()).Find("Data Source");
  EXPECT_EQ(Shell(file, sweep + ";"), expected);
  EXPECT_EQ(
      Shell(file,
            "UPDATE CBASE SET CUBS_NEWBST_COMING = '20091231' WHERE CUBS_UNIQUE_KEY = (SELECT "
            "MIN(CUBS_UNIQUE_KEY) FROM CBASE); VACUUM; PRAGMA integrity_check;"),
      "ok\n");
}

}  // namespace
}  // namespace kvt710
