// kvt710 delete on each database, end to end: a sweep (of one store, then of
// all) names what it marked, by key the flags reach the maintenance row, and
// a key that is no whole number of at most 15 digits touches nothing.
#include "cli/kvt710_process.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::RunKvt710;

class CliDelete : public ::testing::TestWithParam<Backend> {};

TEST_P(CliDelete, BeforeOfOneStoreAndByKey) {
  testing_support::ScopedSettings settings;
  testing_support::TestDatabase database(GetParam());
  for (const char* row : {"1, '012', '2009/06/01'", "2, '013', '2009/12/31'",
                          "3, '012', '2009/12/31'", "4, '012', '2012/01/01'"})
    database.Connect()->Execute(
        std::string("INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_NEWBST_COMING, "
                    "CUBS_DATA_FLG) VALUES (") +
        row + ", 0)");
  const std::string db = database.connection_string();
  const std::string marked = "SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_DATA_FLG = 2 ORDER BY 1";
  // A key that is no whole number of at most 15 digits is refused before anything is read.
  for (const std::string& key : {std::string("12A3"), std::string("1234567890123456"),
                                 std::string("12.5"), std::string(400, '9')})
    EXPECT_EQ(RunKvt710({"delete", "--key", key, "--db", db}).exit_code, 2) << key.substr(0, 20);
  EXPECT_EQ(database.Column(marked), std::vector<std::string>{});

  const std::vector<std::pair<std::vector<std::string>, std::string>> sweeps = {
      {{"--store", "012"},
       "Marked 2 customers deleted whose newest visit is before 2010/01/01 of store 012:\n1 3\n"},
      {{}, "Marked 1 customer deleted whose newest visit is before 2010/01/01:\n2\n"},
      {{}, "Marked 0 customers deleted whose newest visit is before 2010/01/01.\n"},
  };
  for (const auto& [store, says] : sweeps) {
    std::vector<std::string> args = {"delete", "--before", "20100101", "--db", db};
    args.insert(args.end(), store.begin(), store.end());
    const auto run = RunKvt710(args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, says);
  }
  EXPECT_EQ(database.Column(marked), (std::vector<std::string>{"1", "2", "3"}));

  auto by_key =
      RunKvt710({"delete", "--key", "4", "--transe-flg", "1", "--upd-flg", "3", "--db", db});
  EXPECT_EQ(by_key.exit_code, 0) << by_key.err;
  EXPECT_EQ(by_key.out.rfind("Customer 4 marked deleted", 0), 0u) << by_key.out;
  EXPECT_EQ(database.Column(marked), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(
      testing_support::Rows(*database.Connect(),
                            "SELECT MTRN_KBN, MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T WHERE "
                            "MTRN_UNIQUE_KEY = 4"),
      std::vector<std::string>{"2|1|3"});
  auto twice = RunKvt710({"delete", "--key", "4", "--db", db});
  EXPECT_EQ(twice.exit_code, 1);
  EXPECT_EQ(twice.out, "No live customer has the key 4; nothing changed.\n");
}

INSTANTIATE_TEST_SUITE_P(Backends, CliDelete, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
