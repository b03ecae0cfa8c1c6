// The texts of the deletion service, compared whole.
#include "deletion/deletion_statements.h"
#include "test_support.h"

namespace kvt710::deletion {
namespace {

constexpr const char* kLive =
    "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
    "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2";

TEST(DeletionStatements, Selections) {
  EXPECT_EQ(SelectionByKey(12345), std::string(kLive) + " AND CUBS_UNIQUE_KEY = 12345");
  EXPECT_EQ(SelectionByKey(-3), std::string(kLive) + " AND CUBS_UNIQUE_KEY = -3");
  EXPECT_EQ(SelectionByKey(12.5), std::string(kLive) + " AND CUBS_UNIQUE_KEY = 12.5");
  EXPECT_EQ(SelectionByDate(20100101, std::nullopt),
            std::string(kLive) + " AND CUBS_NEWBST_COMING < '20100101'");
  EXPECT_EQ(SelectionByDate(20100101, Variant::String("012")),
            std::string(kLive) + " AND CUBS_NEWBST_COMING < '20100101' AND CUBS_STORE_NO = '012'");
  EXPECT_EQ(SelectionByDate(20100101, Variant::Null()),
            std::string(kLive) + " AND CUBS_NEWBST_COMING < '20100101' AND CUBS_STORE_NO = ''");
  EXPECT_EQ(SelectionByDate(20100101, Variant::Long(12)),
            std::string(kLive) + " AND CUBS_NEWBST_COMING < '20100101' AND CUBS_STORE_NO = '12'");
  // Not trimmed; quotes doubled, so the store stays one literal.
  EXPECT_EQ(
      SelectionByDate(20100101, Variant::String(" 0'1 ")),
      std::string(kLive) + " AND CUBS_NEWBST_COMING < '20100101' AND CUBS_STORE_NO = ' 0''1 '");
  EXPECT_EQ(MaintenanceLookup(12345),
            " SELECT MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN, MTRN_UPDATE, "
            "MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = 12345");
  EXPECT_EQ(KeyText(999999999999999.0), "999999999999999");
  EXPECT_EQ(KeyText(-0.0), "0");
}

TEST(DeletionStatements, MaintenanceInsertAndUpdate) {
  MaintenanceRecord record{12345, "012", "ﾀﾅｶ", DateTime{2009, 3, 5, 10, 11, 12},
                           2,     1,     0,     DateTime{2016, 7, 4, 13, 5, 9}};
  EXPECT_EQ(MaintenanceInsert(record),
            "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_UNIQUE_KEY, "
            "MTRN_KBN, MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG,MTRN_UPD_FLG ) VAlUES "
            "('012', 'ﾀﾅｶ',2,12345,2 ,'2009/03/05', '2016/07/04',1,0)");
  EXPECT_EQ(MaintenanceUpdate(record),
            "UPDATE CMENTE_T SET MTRN_HT_KBN = 2,MTRN_KBN = 2, MTRN_KANA_MEI = 'ﾀﾅｶ', "
            "MTRN_STORE_NO = '012', MTRN_NEWBST_COMING = '2009/03/05', MTRN_UPDATE = "
            "'2016/07/04', MTRN_TRANSE_FLG = 1, MTRN_UPD_FLG = 0 WHERE MTRN_UNIQUE_KEY = 12345");

  // A Null newest visit is the bare word Null; quotes are doubled.
  record = {7, "0'1", "O'Hara", std::nullopt, 1, -1, 32767, DateTime{2016, 12, 31}};
  EXPECT_EQ(MaintenanceInsert(record),
            "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_UNIQUE_KEY, "
            "MTRN_KBN, MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG,MTRN_UPD_FLG ) VAlUES "
            "('0''1', 'O''Hara',1,7,2 ,Null, '2016/12/31',-1,32767)");
  EXPECT_EQ(MaintenanceUpdate(record),
            "UPDATE CMENTE_T SET MTRN_HT_KBN = 1,MTRN_KBN = 2, MTRN_KANA_MEI = 'O''Hara', "
            "MTRN_STORE_NO = '0''1', MTRN_NEWBST_COMING = Null, MTRN_UPDATE = '2016/12/31', "
            "MTRN_TRANSE_FLG = -1, MTRN_UPD_FLG = 32767 WHERE MTRN_UNIQUE_KEY = 7");
}

}  // namespace
}  // namespace kvt710::deletion
