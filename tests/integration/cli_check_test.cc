// kvt710 check on each database: a sound one passes with its customers
// counted; a missing table or index fails with exit code 4, named.
#include "cli/kvt710_process.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::RunKvt710;
using testing_support::TestDatabase;

class CliCheck : public ::testing::TestWithParam<Backend> {};

TEST_P(CliCheck, SoundDatabasePassesAndAMissingTableOrIndexIsNamed) {
  TestDatabase database(GetParam());
  auto connection = database.Connect();
  // Live is any flag but 2, as the deletion service reads it.
  for (const char* row : {"1, 0", "2, 2", "3, 3"})
    connection->Execute(std::string("INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_DATA_FLG) VALUES (") +
                        row + ")");

  auto sound = RunKvt710({"check", "--db", database.connection_string()});
  EXPECT_EQ(sound.exit_code, 0) << sound.out << sound.err;
  EXPECT_NE(sound.out.find("Live customers: 2\nDeleted customers: 1\n"), std::string::npos)
      << sound.out;

  connection->Execute("DROP TABLE CSYOKN");
  connection->Execute("DROP INDEX CBASE_NEWBST_COMING_IX");
  auto broken = RunKvt710({"check", "--db", database.connection_string()});
  EXPECT_EQ(broken.exit_code, 4);
  EXPECT_NE(broken.out.find("table CSYOKN is missing"), std::string::npos) << broken.out;
  EXPECT_NE(broken.out.find("index CBASE_NEWBST_COMING_IX on CBASE is missing"), std::string::npos)
      << broken.out;
}

INSTANTIATE_TEST_SUITE_P(Backends, CliCheck, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
