// kvt710 delete on each database: the sweep marks exactly the live customers
// whose newest visit is before the date, and records each in its
// maintenance rows; by key it marks one and says when there is none.
#include <set>
#include <sstream>

#include "cli/demo_data.h"
#include "cli/import.h"
#include "cli/kvt710_process.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;
using testing_support::Backend;
using testing_support::RunKvt710;
using testing_support::ScopedSettings;
using testing_support::TestDatabase;

constexpr uint64_t kSeed = 3;
constexpr int64_t kCustomers = 120;

struct Customer {
  std::string store, newest_visit;  // yyyy/mm/dd
  bool deleted = false;
};

// What the documents say, without asking the database.
std::map<std::string, Customer> Expected() {
  std::map<std::string, Customer> customers;
  for (int64_t i = 0; i < kCustomers; ++i) {
    const json document = cli::DemoCustomer(kSeed, i);
    if (document["delete"].get<bool>()) {
      customers[document["key"]].deleted = true;
      continue;
    }
    const json& base = document["calls"][0]["SetBaseData"];
    customers[document["key"]] = {base["StoreCd"], base["NewestVisit"], false};
  }
  return customers;
}

std::set<std::string> Keys(const TestDatabase& database, const std::string& query) {
  std::set<std::string> keys;
  for (const std::string& key : database.Column(query)) keys.insert(key);
  return keys;
}

class CliDelete : public ::testing::TestWithParam<Backend> {
 protected:
  CliDelete() : database_(GetParam()) {
    cli::Importer importer(database_.connection_string());
    cli::DemoCustomerStream lines(kSeed, kCustomers);
    std::ostringstream rejects;
    EXPECT_EQ(cli::ImportStream(importer, lines, rejects, nullptr).rejected, 0) << rejects.str();
  }

  ScopedSettings settings_;
  TestDatabase database_;
};

TEST_P(CliDelete, BeforeMarksExactlyTheCustomersLastSeenBeforeTheDate) {
  const std::map<std::string, Customer> customers = Expected();
  std::set<std::string> expected, already_deleted;
  for (const auto& [key, c] : customers) {
    if (c.deleted)
      already_deleted.insert(key);
    else if (c.newest_visit < "2014/01/01")
      expected.insert(key);
  }
  ASSERT_GT(expected.size(), 5u);
  ASSERT_LT(expected.size() + already_deleted.size(), customers.size());
  const std::set<std::string> kind2_before =
      Keys(database_, "Select MTRN_UNIQUE_KEY From CMENTE_T Where MTRN_KBN=2");
  EXPECT_EQ(kind2_before, already_deleted);

  auto run = RunKvt710({"delete", "--before", "20140101", "--db", database_.connection_string()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Marked " + std::to_string(expected.size()) +
                         " customers deleted whose "
                         "newest visit is before 2014/01/01:"),
            std::string::npos)
      << run.out;
  for (const std::string& key : expected) EXPECT_NE(run.out.find(key), std::string::npos) << key;

  std::set<std::string> now_deleted = expected;
  now_deleted.insert(already_deleted.begin(), already_deleted.end());
  EXPECT_EQ(Keys(database_, "Select CUBS_UNIQUE_KEY From CBASE Where CUBS_DATA_FLG=2"),
            now_deleted);
  // Each marked customer's maintenance rows record the deletion; no other's changed.
  EXPECT_EQ(Keys(database_, "Select MTRN_UNIQUE_KEY From CMENTE_T Where MTRN_KBN=2"), now_deleted);
  for (const std::string& key : expected)
    EXPECT_EQ(database_.Scalar("Select Count(*) From CMENTE_T Where MTRN_KBN<>2 And "
                               "MTRN_UNIQUE_KEY=" +
                               key),
              "0");

  // Again: nobody left to mark.
  auto again = RunKvt710({"delete", "--before", "20140101", "--db", database_.connection_string()});
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_NE(again.out.find("Marked 0 customers"), std::string::npos) << again.out;
}

TEST_P(CliDelete, BeforeOfOneStoreAndByKey) {
  const std::map<std::string, Customer> customers = Expected();
  std::set<std::string> expected;
  std::string live_key;
  for (const auto& [key, c] : customers) {
    if (c.deleted) continue;
    if (c.newest_visit < "2016/01/01" && c.store == "002") expected.insert(key);
    if (c.newest_visit >= "2016/01/01" && live_key.empty()) live_key = key;
  }
  auto run = RunKvt710(
      {"delete", "--before", "20160101", "--store", "002", "--db", database_.connection_string()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Keys(database_,
                 "Select CUBS_UNIQUE_KEY From CBASE Where CUBS_DATA_FLG=2 And "
                 "CUBS_STORE_NO='002'"),
            [&] {
              std::set<std::string> all = expected;
              for (const auto& [key, c] : customers)
                if (c.deleted && c.store == "002") all.insert(key);
              return all;
            }());

  auto by_key = RunKvt710(
      {"delete", "--key", live_key, "--transe-flg", "1", "--db", database_.connection_string()});
  ASSERT_EQ(by_key.exit_code, 0) << by_key.err;
  EXPECT_NE(by_key.out.find("Customer " + live_key + " marked deleted"), std::string::npos);
  EXPECT_EQ(database_.Scalar("Select CUBS_DATA_FLG From CBASE Where CUBS_UNIQUE_KEY=" + live_key),
            "2");
  EXPECT_EQ(database_.Scalar("Select MTRN_KBN From CMENTE_T Where MTRN_UNIQUE_KEY=" + live_key),
            "2");
  EXPECT_EQ(
      database_.Scalar("Select MTRN_TRANSE_FLG From CMENTE_T Where MTRN_UNIQUE_KEY=" + live_key),
      "1");
  auto twice = RunKvt710({"delete", "--key", live_key, "--db", database_.connection_string()});
  EXPECT_EQ(twice.exit_code, 1);
  EXPECT_NE(twice.out.find("No live customer"), std::string::npos) << twice.out;

  // Command-line mistakes are told as such, before any database is touched.
  EXPECT_EQ(RunKvt710({"delete", "--before", "20141301"}).exit_code, 2);
  // A key is a whole number of at most 15 digits, for delete and show alike.
  const std::string marked = database_.Scalar("Select Count(*) From CBASE Where CUBS_DATA_FLG=2");
  for (const std::string& key : {std::string("12A3"), std::string("1234567890123456"),
                                 std::string("12.5"), std::string(400, '9')}) {
    const std::string db = database_.connection_string();
    EXPECT_EQ(RunKvt710({"delete", "--key", key, "--db", db}).exit_code, 2) << key.substr(0, 20);
    EXPECT_EQ(RunKvt710({"show", key, "--db", db}).exit_code, 2) << key.substr(0, 20);
  }
  EXPECT_EQ(database_.Scalar("Select Count(*) From CBASE Where CUBS_DATA_FLG=2"), marked);
  EXPECT_EQ(RunKvt710({"delete"}).exit_code, 2);
  EXPECT_EQ(RunKvt710({"delete", "--key", "1", "--before", "20140101"}).exit_code, 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, CliDelete, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
