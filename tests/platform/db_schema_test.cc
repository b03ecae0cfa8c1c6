// The SQLite schema script and the loader that applies it.
#include <gtest/gtest.h>

#include <regex>
#include <set>

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

TEST(DbSchemaTest, CreatesTheTenTablesOnceWithTheirKeysAndDateColumns) {
  testing_support::TestDatabase db(testing_support::Backend::kSQLite);
  auto cn = db.Connect();
  const std::string before = db.Scalar("SELECT group_concat(sql, ';') FROM sqlite_master");
  ApplySchema(*cn, testing_support::ReadSourceFile("schema/sqlite.sql"));  // again: no change
  EXPECT_EQ(db.Scalar("SELECT group_concat(sql, ';') FROM sqlite_master"), before);

  const std::vector<std::pair<std::string, int>> tables = {
      {"CBASE", 148},  {"CMENTE_T", 16}, {"CGLASBS", 48},   {"CGLASDTL", 32}, {"CCNTBS", 42},
      {"CCNTDTL", 25}, {"CHOCHOBS", 32}, {"CHOCHODTL", 62}, {"CSALE", 27},    {"CSYOKN", 5}};
  for (const auto& [table, columns] : tables) {
    EXPECT_EQ(db.Scalar("SELECT Count(*) FROM pragma_table_info('" + table + "')"),
              std::to_string(columns))
        << table;
  }
  EXPECT_EQ(db.Column("SELECT name FROM pragma_table_info('CBASE') WHERE pk > 0"),
            std::vector<std::string>{"CUBS_UNIQUE_KEY"});
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM sqlite_master WHERE type = 'index' AND sql IS NOT "
                      "NULL"),
            "12");
  EXPECT_EQ(
      db.Scalar("SELECT group_concat(name) FROM pragma_index_info('CMENTE_T_STORE_HT_KEY_IX')"),
      "MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY");

  std::set<std::string> dated;
  static const std::regex date_column(R"((\w+)\s+TEXT COLLATE KVTDATE)");
  const std::string sql = db.Scalar("SELECT group_concat(sql, ';') FROM sqlite_master");
  for (std::sregex_iterator it(sql.begin(), sql.end(), date_column), end; it != end; ++it)
    dated.insert((*it)[1].str());
  EXPECT_EQ(dated, (std::set<std::string>{
                       "CUBS_BIRTH_DT", "CUBS_VISIT_DT", "CUBS_NEWBST_COMING", "CUBS_UPD_DATE",
                       "MTRN_BIRTH_DT", "MTRN_NEWBST_COMING", "MTRN_UPDATE", "GLS_EXAM_DT",
                       "GLS_UPD_DATETIME", "CNT_EXAM_DT", "CNT_UPD_DATETIME", "HOC_EXAM_DT",
                       "HOC_GUARANTEE_PERIOD", "HOC_UPD_DATETIME", "HOCD_UPD_DATETIME",
                       "CSALE_SALE_DT", "CSALE_UPD_DATETIME", "CMNT_UPD_DATE"}));
  // Bare columns take numbers: a flag written '0' compares as the number 0.
  cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_DATA_FLG,CUBS_BIRTH_MD) Values (1,'0',0305)");
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND CUBS_DATA_FLG = 0 "
                      "AND CUBS_BIRTH_MD = 305"),
            "1");
  EXPECT_THROW(cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (Null)"), Error);
}

}  // namespace
}  // namespace kvt710::db
