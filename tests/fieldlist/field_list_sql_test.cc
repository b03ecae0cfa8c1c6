// The statement texts of the field-list executor and what it refuses.
#include <cmath>
#include <limits>

#include "fieldlist/field_list_sql.h"
#include "platform/automation/error.h"
#include "test_support.h"

namespace kvt710::fieldlist {
namespace {

const std::vector<std::string> kNames = {"CUBS_KANA_MEI", "CUBS_SEX"};
const std::vector<std::string> kValues = {"'ﾀﾅｶ'", "1"};

TEST(FieldListSql, StatementTextsOfTheThreeModes) {
  EXPECT_EQ(funcCreateSql(kInsert, 12345, 2, kNames, kValues),
            "INSERT INTO CBASE (CUBS_UNIQUE_KEY,CUBS_KANA_MEI,CUBS_SEX) VALUES (12345,'ﾀﾅｶ',1)");
  EXPECT_EQ(funcCreateSql(kUpdate, 12345, 2, kNames, kValues),
            "UPDATE CBASE SET CUBS_KANA_MEI = 'ﾀﾅｶ',CUBS_SEX = 1 WHERE CUBS_UNIQUE_KEY = 12345");
  // Delete ignores the pairs, even lists that are too short or refused.
  EXPECT_EQ(funcCreateSql(kDelete, -7, 5, {"x;"}, {}),
            "DELETE FROM CBASE WHERE CUBS_UNIQUE_KEY = -7");
  EXPECT_EQ(funcCreateSql(kInsert, 12345, 0, {}, {}),
            "INSERT INTO CBASE (CUBS_UNIQUE_KEY) VALUES (12345)");
  EXPECT_EQ(funcCreateSql(kUpdate, 12345, 0, {}, {}),
            "UPDATE CBASE SET  WHERE CUBS_UNIQUE_KEY = 12345");
  // Only the first `count` pairs are written.
  EXPECT_EQ(funcCreateSql(kInsert, 1, 1, kNames, kValues),
            "INSERT INTO CBASE (CUBS_UNIQUE_KEY,CUBS_KANA_MEI) VALUES (1,'ﾀﾅｶ')");
  for (int32_t mode : {0, 4, -1}) EXPECT_EQ(funcCreateSql(mode, 1, 2, kNames, kValues), "");
  EXPECT_EQ(
      FamilyCountSql(12345, -1),
      "UPDATE CBASE SET CUBS_FAMILY_CNT = CUBS_FAMILY_CNT + -1 Where CUBS_UNIQUE_KEY = 12345");
  EXPECT_EQ(FamilyCountSql(0, 3),
            "UPDATE CBASE SET CUBS_FAMILY_CNT = CUBS_FAMILY_CNT + 3 Where CUBS_UNIQUE_KEY = 0");
}

TEST(FieldListSql, KeyTextIsTheWholeNumber) {
  EXPECT_EQ(KeyText(12345), "12345");
  EXPECT_EQ(KeyText(-12345), "-12345");
  EXPECT_EQ(KeyText(-0.0), "0");
  EXPECT_EQ(KeyText(999999999999999.0), "999999999999999");
  for (double key :
       {0.5, -1.25, 1e15, -1e15, 1e300, std::numeric_limits<double>::infinity(), std::nan("")}) {
    EXPECT_THROW(KeyText(key), Error) << key;
    EXPECT_THROW(funcCreateSql(kDelete, key, 0, {}, {}), Error) << key;
    EXPECT_THROW(FamilyCountSql(key, 1), Error) << key;
  }
}

// The literal shapes themselves are the text core's; here what the field list adds.
TEST(FieldListSql, EveryValueMustBeOneLiteral) {
  for (const char* ok : {"'O''Hara'", " 42 ", "-1", "Null", "NULL", "null"})
    EXPECT_TRUE(IsSqlLiteral(ok)) << ok;
  for (const char* bad : {"", "'x'); DELETE FROM CBASE; --", "Nul", "Null Null", "CUBS_SEX"})
    EXPECT_FALSE(IsSqlLiteral(bad)) << bad;
  // Key columns take keys only.
  for (const char* bad : {"1234567890123456", "1e5", "'12'"})
    EXPECT_THROW(funcCreateSql(kUpdate, 1, 1, {"cubs_family_key"}, {bad}), Error) << bad;
  EXPECT_EQ(
      funcCreateSql(kUpdate, 1, 2, {"CUBS_FAMILY_KEY", "CUBS_UNIQUE_KEY"}, {"Null", "12"}),
      "UPDATE CBASE SET CUBS_FAMILY_KEY = Null,CUBS_UNIQUE_KEY = 12 WHERE CUBS_UNIQUE_KEY = 1");
}

TEST(FieldListSql, NamesMustBeColumnsOfTheCustomerMaster) {
  for (const char* ok : {"CUBS_KANA_MEI", "cubs_sex", "CUBS_FREE_17_16", "CUBS_EVENT_FLG_16",
                         "CUBS_BUY16_FLG", "CUBS_TRANSE_FLG", "CUBS_UNIQUE_KEY", " CUBS_SEX "})
    EXPECT_TRUE(IsBaseColumn(ok)) << ok;
  for (const char* bad : {"", "CUBS_FREE_17", "CUBS_EVENT_FLG_17", "MTRN_KBN",
                          "CUBS_SEX,CUBS_DATA_FLG", "CUBS_SEX\t", "CUBS_SEX=1", "1"})
    EXPECT_FALSE(IsBaseColumn(bad)) << bad;

  // A refused name or value anywhere refuses the statement, naming the pair.
  try {
    funcCreateSql(kUpdate, 1, 2, {"CUBS_SEX", "CUBS_SEX=1,CUBS_DATA_FLG"}, {"1", "2"});
    FAIL() << "an injected name must be refused";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kInvalidCall);
    EXPECT_NE(e.description().find("Field 2"), std::string::npos) << e.description();
  }
  try {
    funcCreateSql(kInsert, 1, 2, kNames, {"'x'", "1); DELETE FROM CBASE"});
    FAIL() << "an injected value must be refused";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("Value 2 of CUBS_SEX"), std::string::npos) << e.description();
  }
  // Lists shorter than the count are a subscript error, not a short statement.
  try {
    funcCreateSql(kInsert, 1, 3, kNames, kValues);
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kSubscript);
  }
}

}  // namespace
}  // namespace kvt710::fieldlist
