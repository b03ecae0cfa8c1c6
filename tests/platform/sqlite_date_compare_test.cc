// The KVTDATE collation: date texts of the three written forms compare by
// date value, on its own and inside the real schema's date columns.
#include <gtest/gtest.h>

#include <vector>

#include "platform/db/connection.h"
#include "platform/db/sqlite/date_collation.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using sqlite::CompareCollationDates;

TEST(SqliteDateCompareTest, IsATotalOrderWithDatesFirst) {
  EXPECT_LT(CompareCollationDates("2009/12/31", "20100101"), 0);
  EXPECT_EQ(CompareCollationDates("2010/01/01", "20100101"), 0);
  EXPECT_EQ(CompareCollationDates("2010/1/1", "2010-01-01 00:00"), 0);
  EXPECT_LT(CompareCollationDates("2010/01/01", "2010/01/01 00:00:01"), 0);
  EXPECT_LT(CompareCollationDates("9999/12/31", "0"), 0);
  EXPECT_LT(CompareCollationDates("2016/13/01", "abc"), 0);  // bytes among non-dates
  EXPECT_LT(CompareCollationDates("ab", "abc"), 0);

  const std::vector<std::string> samples = {"20100101",
                                            "2010/01/01",
                                            "2009/12/31",
                                            "2009/12/31 23:59:59",
                                            "2010-1-2",
                                            "2010/1/2 0:00",
                                            "19991231",
                                            "2016/13/01",
                                            "",
                                            "abc",
                                            "ab",
                                            "20101301",
                                            "2010/01/01 12:00",
                                            "1"};
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const auto& a : samples) {
    EXPECT_EQ(CompareCollationDates(a, a), 0) << a;
    for (const auto& b : samples) {
      EXPECT_EQ(sign(CompareCollationDates(a, b)), -sign(CompareCollationDates(b, a)))
          << a << " | " << b;
      for (const auto& c : samples) {
        if (CompareCollationDates(a, b) <= 0 && CompareCollationDates(b, c) <= 0) {
          EXPECT_LE(CompareCollationDates(a, c), 0) << a << " | " << b << " | " << c;
        }
      }
    }
  }
}

TEST(SqliteDateCompareTest, DateColumnsCompareQuotedTextsByDate) {
  testing_support::TestDatabase db(testing_support::Backend::kSQLite);
  auto cn = db.Connect();
  int key = 0;
  for (const char* visit : {"'2009/12/31'", "'2010/01/01'", "'2009/6/30'", "'20091231'",
                            "'2010-01-02'", "'not a date'", "Null"}) {
    cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_DATA_FLG,CUBS_NEWBST_COMING) Values (" +
                std::to_string(++key) + ",'0'," + visit + ")");
  }
  // The comparisons the deletion service and the tests of the writers make.
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_NEWBST_COMING < '20100101'"), "3");
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_NEWBST_COMING = '20100101'"), "1");
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE WHERE '2009/12/31' < CUBS_NEWBST_COMING"), "3");
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND "
                      "CUBS_NEWBST_COMING < '20100101'"),
            "3");
  // The index on the column orders by the same collation.
  EXPECT_EQ(db.Column("SELECT CUBS_UNIQUE_KEY FROM CBASE INDEXED BY CBASE_NEWBST_COMING_IX "
                      "WHERE CUBS_NEWBST_COMING IS NOT NULL ORDER BY CUBS_NEWBST_COMING, "
                      "CUBS_UNIQUE_KEY"),
            (std::vector<std::string>{"3", "1", "4", "2", "5", "6"}));
  // A key written bare into a date column is still text: it compares as a date.
  cn->Execute("Update CBASE Set CUBS_NEWBST_COMING=20091130 Where CUBS_UNIQUE_KEY=6");
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_NEWBST_COMING < '2009/12/01'"), "2");
}

}  // namespace
}  // namespace kvt710::db
