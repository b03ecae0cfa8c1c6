// FamilyCnt_Update and FamilyUpdate: the queued texts, keys that are
// skipped and keys that are refused with the caller connection's list.
#include "tests/master/customer_fixture.h"

namespace kvt710 {
namespace {

using master_testing::Bench;
using master_testing::ReportLog;
using testing_support::Backend;

TEST(Family, QueuedTextsKeepTheKeysAsPassed) {
  Bench bench(Backend::kSQLite);
  EXPECT_EQ(bench.batch->FamilyCnt_Update("1200"), 0);
  EXPECT_EQ(bench.batch->FamilyUpdate("1200", "1305"), 0);
  EXPECT_EQ(bench.batch->FamilyUpdate(" 1200", "1305 "), 0);
  EXPECT_EQ(bench.Queued(),
            "Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where "
            "CUBS_FAMILY_KEY=1200 And CUBS_UNIQUE_KEY<>1200 And CUBS_DATA_FLG='0') Where "
            "CUBS_UNIQUE_KEY=1200\n"
            "Update CBASE Set CUBS_FAMILY_KEY = 1200 Where CUBS_UNIQUE_KEY=1305\n"
            "Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where "
            "CUBS_FAMILY_KEY=1200 And CUBS_UNIQUE_KEY<>1200 And CUBS_DATA_FLG='0') Where "
            "CUBS_UNIQUE_KEY=1200\n"
            "Update CBASE Set CUBS_FAMILY_KEY =  1200 Where CUBS_UNIQUE_KEY=1305 \n"
            "Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where "
            "CUBS_FAMILY_KEY= 1200 And CUBS_UNIQUE_KEY<> 1200 And CUBS_DATA_FLG='0') Where "
            "CUBS_UNIQUE_KEY= 1200\n");
}

TEST(Family, KeysThatAreNotNumbersQueueNothing) {
  Bench bench(Backend::kSQLite);
  ReportLog log;
  for (auto [daihyo, kazoku] : {std::pair{"1200", ""}, std::pair{"A12", "1305"},
                                std::pair{"   ", "1305"}, std::pair{"1200", "1305;x"}})
    EXPECT_EQ(bench.batch->FamilyUpdate(daihyo, kazoku), 0) << daihyo << "/" << kazoku;
  EXPECT_EQ(bench.batch->Queue(), nullptr);
  EXPECT_TRUE(log.reports.empty());
}

TEST(Family, NumbersThatAreNotPlainAreRefusedWithTheCallerList) {
  Bench bench(Backend::kSQLite);
  // An earlier failure on the caller connection fills its error list.
  EXPECT_THROW(bench.caller->Execute("Select * From NO_SUCH_TABLE"), Error);
  ASSERT_FALSE(bench.caller->errors().list().empty());
  ReportLog log;
  EXPECT_EQ(bench.batch->FamilyUpdate("1E3", "1305"), -1);
  EXPECT_EQ(bench.batch->FamilyUpdate("1200", "1,305"), -1);
  EXPECT_EQ(bench.batch->FamilyCnt_Update(""), -1);
  EXPECT_EQ(bench.batch->FamilyCnt_Update("1200 Or 1=1"), -1);
  EXPECT_EQ(bench.batch->FamilyCnt_Update("1E3"), -1);
  ASSERT_EQ(log.reports.size(), 5u);
  EXPECT_EQ(log.reports[0].source, "KVT710C3.FamilyUpdate");
  EXPECT_FALSE(log.reports[0].errors.empty()) << "the caller connection's list";
  EXPECT_TRUE(bench.caller->errors().list().empty()) << "and cleared after the report";
  EXPECT_EQ(log.reports[2].source, "KVT710C3.FamilyCnt_Update");
  for (const Report& report : log.reports) EXPECT_EQ(report.code, Variant::String("11015"));
  ASSERT_NE(bench.batch->Queue(), nullptr);
  EXPECT_EQ(bench.batch->Queue()->Count(), 0);

  // Without a caller connection the report carries an empty list.
  bench.batch->SetDBCon(nullptr);
  log.reports.clear();
  EXPECT_EQ(bench.batch->FamilyCnt_Update("x"), -1);
  ASSERT_EQ(log.reports.size(), 1u);
  EXPECT_TRUE(log.reports[0].errors.empty());
  EXPECT_EQ(bench.batch->FamilyCnt_Update("1200"), 0) << "no connection is needed to queue";
}

}  // namespace
}  // namespace kvt710
