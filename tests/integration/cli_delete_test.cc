// kvt710 check and delete on each database, end to end: check counts the
// customers and names a missing table or index; a sweep (of one store, then
// of all) names what it marked; by key the flags reach the maintenance row;
// a key that is no whole number of at most 15 digits touches nothing.
#include "cli/kvt710_process.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710 {
namespace {

class CliDelete : public ::testing::TestWithParam<testing_support::Backend> {};

TEST_P(CliDelete, CheckSweepsOfOneStoreAndAllAndByKey) {
  testing_support::ScopedSettings settings;
  testing_support::TestDatabase database(GetParam());
  // Live is any flag but 2, as the deletion service reads it.
  for (const char* row :
       {"1, '012', '2009/06/01', 0", "2, '013', '2009/12/31', 3", "3, '012', '2009/12/31', 0",
        "4, '012', '2012/01/01', 0", "5, '012', '2009/01/01', 2"})
    database.Connect()->Execute(
        std::string("INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_NEWBST_COMING, "
                    "CUBS_DATA_FLG) VALUES (") +
        row + ")");
  const std::string sound = "The ten tables, their keys and indexes are sound.\n";
  const std::string before = " deleted whose newest visit is before 2010/01/01";
  // Arguments, exit code, standard output.
  const std::vector<std::tuple<std::vector<std::string>, int, std::string>> steps = {
      {{"delete", "--key", "12A3"}, 2, ""},
      {{"delete", "--key", "1234567890123456"}, 2, ""},
      {{"delete", "--key", "12.5"}, 2, ""},
      {{"delete", "--key", std::string(400, '9')}, 2, ""},
      {{"check"}, 0, sound + "Live customers: 4\nDeleted customers: 1\n"},
      {{"delete", "--before", "20100101", "--store", "012"},
       0,
       "Marked 2 customers" + before + " of store 012:\n1 3\n"},
      {{"delete", "--before", "20100101"}, 0, "Marked 1 customer" + before + ":\n2\n"},
      {{"delete", "--before", "20100101"}, 0, "Marked 0 customers" + before + ".\n"},
      {{"delete", "--key", "4", "--transe-flg", "1", "--upd-flg", "3"},
       0,
       "Customer 4 marked deleted; its maintenance rows record the deletion (kind 2).\n"},
      {{"delete", "--key", "4"}, 1, "No live customer has the key 4; nothing changed.\n"},
      {{"check"}, 0, sound + "Live customers: 0\nDeleted customers: 5\n"},
  };
  for (auto [args, exit_code, out] : steps) {
    args.insert(args.end(), {"--db", database.connection_string()});
    const auto run = testing_support::RunKvt710(args);
    EXPECT_EQ(run.exit_code, exit_code) << args[1] << " " << args[2] << ": " << run.err;
    EXPECT_EQ(run.out, out);
  }
  EXPECT_EQ(database.Column("SELECT MTRN_KBN || '|' || MTRN_TRANSE_FLG || '|' || MTRN_UPD_FLG "
                            "FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = 4"),
            std::vector<std::string>{"2|1|3"});

  database.Connect()->Execute("DROP TABLE CSYOKN");
  database.Connect()->Execute("DROP INDEX CBASE_NEWBST_COMING_IX");
  const auto broken = testing_support::RunKvt710({"check", "--db", database.connection_string()});
  EXPECT_EQ(broken.exit_code, 4);
  for (const char* problem : {"table CSYOKN is missing", "index CBASE_NEWBST_COMING_IX on CBASE"})
    EXPECT_NE(broken.out.find(problem), std::string::npos) << broken.out;
}

INSTANTIATE_TEST_SUITE_P(Backends, CliDelete, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
