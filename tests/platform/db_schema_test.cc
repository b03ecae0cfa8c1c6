// The SQLite schema script and the loader that applies it.
#include <gtest/gtest.h>

#include "platform/db/connection.h"
#include "platform/db/schema.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

TEST(DbSchemaTest, SplitsAtSemicolonsThatEndALine) {
  EXPECT_EQ(SplitSchemaScript("-- head\n\nCREATE TABLE A (\n  X TEXT -- x\n);\n  -- c\n"
                              "CREATE INDEX I ON A (X);  \nSELECT ';'\n"),
            (std::vector<std::string>{"CREATE TABLE A (\nX TEXT -- x\n)", "CREATE INDEX I ON A (X)",
                                      "SELECT ';'"}));
  EXPECT_TRUE(SplitSchemaScript("\n-- only\n").empty());
}

TEST(DbSchemaTest, CreatesTheTablesOnceAndBareColumnsTakeNumbers) {
  testing_support::TestDatabase db(testing_support::Backend::kSQLite);
  auto cn = db.Connect();
  const std::string before = db.Scalar("SELECT group_concat(sql, ';') FROM sqlite_master");
  ApplySchema(*cn, testing_support::ReadSourceFile("schema/sqlite.sql"));  // again: no change
  EXPECT_EQ(db.Scalar("SELECT group_concat(sql, ';') FROM sqlite_master"), before);

  // Bare columns take numbers: a flag written '0' compares as the number 0.
  cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_DATA_FLG,CUBS_BIRTH_MD) Values (1,'0',0305)");
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND CUBS_DATA_FLG = 0 "
                      "AND CUBS_BIRTH_MD = 305"),
            "1");
  EXPECT_THROW(cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (Null)"), Error);
}

}  // namespace
}  // namespace kvt710::db
