// The history writers on each database: the whole INSERT text of each table
// for a full set of values, every column read back after Execute, and a
// customer's whole history replaced by Execute.
#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::MaskTimestamps;
using testing_support::ScopedSettings;
using testing_support::TestDatabase;

GlassesHeaderParams GlassesHeader() {
  return {"001",  "1203",  "3",    "2016/7/4", " 12345 ", " 2",    "1",  "3",  "7",  " 012 ",
          "5",    "0.1",   "0.2",  "1.2",      " brown ", "gray",  "25", "30", "10", "15",
          "it's", "UV",    "1",    "2",        "11",      "12",    "0",  "1",  "4",  " it's ",
          "1",    "-1.25", "-0.5", "-0.75",    "-1.5",    "-0.25", "0",  "2",  "3",  "-1",
          "1.75", "2.25",  "-2",   "8",        "9",       "ab",    "0"};
}

GlassesDetailParams GlassesDetail() {
  return {"001", "1203", "3",   "2",   " 12345 ", "0.5",  "0.8",  "1",  "-1.25", "-0.5",  "90 ",
          "2",   "1",    "2",   "3",   "4",       "32",   "30",   "22", "-1",    "-0.75", "180",
          "2.5", "1.5",  "2.5", "3.5", "5",       "31.5", "29.5", "21", "1"};
}

ContactHeaderParams ContactHeader() {
  return {"001",  "1203",  "3",     "2016/7/4", "12345", "1",   "7 ",     "8",   "012",
          "5",    "0.1",   "0.2",   "0.3",      "7.85",  "7.9", "180",    "7.7", "7.8",
          "90",   "1",     "2",     "0",        "5",     "12",  " it's ", "-3",  "-2.5",
          "-0.5", "-3.25", "-2.75", "-0.75",    "1",     "2",   "3",      "4",   "5",
          "6",    "7",     "8",     "ab",       "1"};
}

ContactDetailParams ContactDetail() {
  return {"001", "1203", "3",     "1",   "not a date", "12345", "1.2", "1.5",  "0.9",
          "8.6", "-3",   "-0.75", "180", "14",         "1",     "8.7", "-3.5", "-1",
          "90",  "14.2", "2",     "3",   "4",          " ab ",  "0"};
}

HearingHeaderParams HearingHeader() {
  return {"001",    "1203",  "3",     "2016/7/4", "00123", "1",    "2",   "10",
          "11",     "  12",  "13",    "14",       "SN-1",  "SN'2", "K 7", "2019-07-03",
          "O'Hara", " two ", "three", "y1",       "y2",    "y3",   "y4",  "y5",
          "y6",     "y7",    "y8",    "y9",       "y10",   "1",    "0"};
}

// Kido(1, n) = 5n, Kido(2, n) = 5n + 10 (Kido(2, 5) with blanks around);
// Kodo(1, n) = 100 + n, Kodo(2, n) = 200 + n, except an empty Kodo(2, 11).
HearingDetailParams HearingDetail() {
  std::vector<std::vector<std::string>> kido(2), kodo(2);
  for (int n = 1; n <= 11; ++n) {
    kido[0].push_back(std::to_string(5 * n));
    kido[1].push_back(std::to_string(5 * n + 10));
    kodo[0].push_back(std::to_string(100 + n));
    kodo[1].push_back(std::to_string(200 + n));
  }
  kido[1][4] = " 35 ";
  kodo[1][10] = "";
  auto kido_array = SafeArray::OfStrings2(1, 1, kido),
       kodo_array = SafeArray::OfStrings2(1, 1, kodo);
  return {"001", "1203", "3",  "1",  "x",  "00123", kido_array, kodo_array, "y1", "y2",
          "y3",  "y4",   "y5", "y6", "y7", "y8",    "y9",       "y10",      "1",  ""};
}

SalesLineParams SalesLine() {
  return {"001",      "1203",    1,       3,     2,        "12345",
          "2016/7/4", "8",       "002",   "012", "1",      "  O'Hara frame ",
          "4901234",  "Maker'A", "2",     "2",   "1980.5", "-2.5",
          "100",      "3861",    "308.8", "0",   "4169",   "2.5",
          "7",        1};
}

class HistoryWriters : public ::testing::TestWithParam<Backend> {
 protected:
  HistoryWriters() : database_(GetParam()), clock_([] { return DateTime{2016, 7, 4, 13, 5, 9}; }) {
    settings_.UseConnection(database_.connection_string());
    batch_ = KVT710C3::Create();
    caller_ = database_.Connect();
    batch_->SetDBCon(caller_);
  }

  // The one statement queued by `result`'s call, masked, after checking it ran.
  std::string Queued(int32_t result) {
    EXPECT_EQ(result, 0);
    if (!batch_->Queue() || batch_->Queue()->Count() != 1) return "<not one statement>";
    return MaskTimestamps(batch_->Queue()->Item(1));
  }

  // Runs Execute for customer 1203, then reads every column of every row of
  // `table`, "|" between columns.
  std::vector<std::string> Stored(const std::string& table) {
    batch_->Execute("1203");
    auto rs = caller_->OpenRecordset("Select * From " + table, db::CursorType::kStatic,
                                     db::LockType::kReadOnly);
    std::vector<std::string> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      std::string row;
      for (const std::string& name : rs->FieldNames()) {
        const Variant value = rs->Field(name);
        row += (row.empty() ? "" : "|") + (value.IsNull() ? "NULL" : value.ToString());
      }
      rows.push_back(row);
    }
    return rows;
  }

  using Rows = std::vector<std::string>;

  TestDatabase database_;
  ScopedSettings settings_;
  ScopedClock clock_;
  std::shared_ptr<KVT710C3> batch_;
  std::shared_ptr<db::Connection> caller_;
};

TEST_P(HistoryWriters, GlassesHeader) {
  EXPECT_EQ(
      Queued(batch_->SetG_BaseData(GlassesHeader())),
      "Insert Into "
      "CGLASBS(GLS_STORE_NO,GLS_UNIQUE_KEY,GLS_HISTORY_NO,GLS_EXAM_DT,GLS_INQ_NO,GLS_USE_PUR,GLS_"
      "PUR_DISTANCE,GLS_TUNING,GLS_INT_CD,GLS_CLERK_CD,GLS_ATUKAI_NO,GLS_NAKED_SIGHT_1,GLS_NAKED_"
      "SIGHT_2,GLS_NAKED_SIGHT_3,GLS_LENS_COLR1,GLS_LENS_NODO1,GLS_LENS_NODO_UD1,GLS_SPEC_1,GLS_"
      "COLR_CLS1,GLS_MATERIAL_CD1,GLS_CYL_CTRL1,GLS_LENS_COLR2,GLS_LENS_NODO2,GLS_LENS_NODO_UD2,"
      "GLS_SPEC_2,GLS_COLR_CLS2,GLS_MATERIAL_CD2,GLS_CYL_CTRL2,GLS_OPHT_MEDIC,GLS_REMARKS,GLS_OD_"
      "KIND_FLG,GLS_1_F_DEGREE_N,GLS_1_N_DEGREE_N,GLS_1_CYL_N,GLS_2_F_DEGREE_N,GLS_2_N_DEGREE_N,"
      "GLS_2_CYL_N,GLS_3_F_DEGREE_N,GLS_3_N_DEGREE_N,GLS_3_CYL_N,GLS_4_F_DEGREE_N,GLS_4_N_"
      "DEGREE_N,GLS_4_CYL_N,GLS_YOBI1,GLS_YOBI2,GLS_YOBI3,GLS_UPD_DATETIME,GLS_TRANSE_FLG) Values "
      "( '001',1203,3,'2016/07/04','12345', 2,1,3,'7','012','5',0.1,0.2,1.2,'brown',25,10,"
      "'it''s',1,11,0,'gray',30,15,'UV',2,12,1,4,'it''s',1,-1.25,-0.5,-0.75,-1.5,-0.25,0,2,3,"
      "-1,1.75,2.25,-2,8,9,'ab','{now}',0)");
  EXPECT_EQ(Stored("CGLASBS"),
            Rows{"001|1203|3|2016/07/04|12345|2|1|3|7|012|5|0.1|0.2|1.2|brown|25|10|it's|1|11|0|"
                 "gray|30|15|UV|2|12|1|4|it's|1|-1.25|-0.5|-0.75|-1.5|-0.25|0|2|3|-1|1.75|2.25|-2|"
                 "8|9|ab|2016/07/04 13:05:09|0"});
}

TEST_P(HistoryWriters, GlassesDetail) {
  EXPECT_EQ(
      Queued(batch_->SetG_DTLData(GlassesDetail())),
      "Insert Into "
      "CGLASDTL(GLS_STORE_NO,GLS_UNIQUE_KEY,GLS_HISTORY_NO,GLS_KIND1,GLS_INQ_NO,GLS_SIGHT_1,GLS_"
      "SIGHT_2,GLS_SIGHT_3,GLS_S_1,GLS_C_1,GLS_AX_1,GLS_ADD_1,GLS_P1_1,GLS_B1_1,GLS_HEN1_1,GLS_P_"
      "WAY1_1,GLS_PD_1,GLS_NPD_1,GLS_EYE_POINT_1,GLS_S_2,GLS_C_2,GLS_AX_2,GLS_ADD_2,GLS_P1_2,GLS_"
      "B1_2,GLS_HEN1_2,GLS_P_WAY1_2,GLS_PD_2,GLS_NPD_2,GLS_EYE_POINT_2,GLS_UPD_DATETIME,GLS_"
      "TRANSE_FLG) Values ( '001',1203,3,2,'12345',0.5,0.8,1,-1.25,-0.5,90 "
      ",2,1,2,3,4,32,30,22,-1,-0.75,180,2.5,1.5,2.5,3.5,5,31.5,29.5,21,'{now}',1)");
  EXPECT_EQ(Stored("CGLASDTL"),
            Rows{"001|1203|3|2|12345|0.5|0.8|1|-1.25|-0.5|90|2|1|2|3|4|32|30|22|-1|-0.75|180|2.5|"
                 "1.5|2.5|3.5|5|31.5|29.5|21|2016/07/04 13:05:09|1"});
}

TEST_P(HistoryWriters, ContactLensHeader) {
  EXPECT_EQ(
      Queued(batch_->SetC_BaseData(ContactHeader())),
      "Insert Into "
      "CCNTBS(CNT_STORE_NO,CNT_UNIQUE_KEY,CNT_HISTORY_NO,CNT_EXAM_DT,CNT_INQ_NO,CNT_USE_PUR,CNT_"
      "DOCTOR_CD,CNT_INT_CD,CNT_CLERK_CD,CNT_ATUKAI_NO,CNT_NAKED_SIGHT_1,CNT_NAKED_SIGHT_2,CNT_"
      "NAKED_SIGHT_3,CNT_VK_1,CNT_HK_1,CNT_KRT_AX_1,CNT_VK_2,CNT_HK_2,CNT_KRT_AX_2,CNT_SYORI_KBN1,"
      "CNT_SYORI_KBN2,CNT_ALLERGY,CNT_YY,CNT_TIME,CNT_REMARKS,CNT_1_F_DEGREE_N,CNT_1_N_DEGREE_N,"
      "CNT_1_CYL_N,CNT_2_F_DEGREE_N,CNT_2_N_DEGREE_N,CNT_2_CYL_N,CNT_3_F_DEGREE_N,CNT_3_N_"
      "DEGREE_N,CNT_3_CYL_N,CNT_4_F_DEGREE_N,CNT_4_N_DEGREE_N,CNT_4_CYL_N,CNT_YOBI1,CNT_YOBI2,"
      "CNT_YOBI3,CNT_UPD_DATETIME,CNT_TRANSE_FLG) Values ( "
      "'001',1203,3,'2016/07/04','12345',1,'7','8','012','5',0.1,0.2,0.3,7.85,7.9,180,7.7,7.8,"
      "90,1,2,0,5,12,'it''s',-3,-2.5,-0.5,-3.25,-2.75,-0.75,1,2,3,4,5,6,7,8,'ab','{now}',1)");
  EXPECT_EQ(Stored("CCNTBS"),
            Rows{"001|1203|3|2016/07/04|12345|1|7|8|012|5|0.1|0.2|0.3|7.85|7.9|180|7.7|7.8|90|1|"
                 "2|0|5|12|it's|-3|-2.5|-0.5|-3.25|-2.75|-0.75|1|2|3|4|5|6|7|8|ab|"
                 "2016/07/04 13:05:09|1"});
}

TEST_P(HistoryWriters, ContactLensDetail) {
  EXPECT_EQ(Queued(batch_->SetC_DTLData(ContactDetail())),
            "Insert Into "
            "CCNTDTL(CNT_STORE_NO,CNT_UNIQUE_KEY,CNT_HISTORY_NO,CNT_KIND1,CNT_INQ_NO,CNT_SIGHT_1,"
            "CNT_SIGHT_2,CNT_SIGHT_3,CNT_BC_1,CNT_P_1,CNT_C_1,CNT_AX_1,CNT_SIZ_1,CNT_ADD_1,CNT_BC_"
            "2,CNT_P_2,CNT_C_2,CNT_AX_2,CNT_SIZ_2,CNT_ADD_2,CNT_YOBI1,CNT_YOBI2,CNT_YOBI3,CNT_UPD_"
            "DATETIME,CNT_TRANSE_FLG) Values ( "
            "'001',1203,3,1,'12345',1.2,1.5,0.9,8.6,-3,-0.75,180,14,1,8.7,-3.5,-1,90,14.2,2,3,4,"
            "'ab','{now}',0)");
  EXPECT_EQ(Stored("CCNTDTL"),
            Rows{"001|1203|3|1|12345|1.2|1.5|0.9|8.6|-3|-0.75|180|14|1|8.7|-3.5|-1|90|14.2|2|3|4|"
                 "ab|2016/07/04 13:05:09|0"});
}

TEST_P(HistoryWriters, HearingAidHeader) {
  EXPECT_EQ(
      Queued(batch_->SetH_BaseData(HearingHeader())),
      "Insert Into "
      "CHOCHOBS(HOC_STORE_NO,HOC_UNIQUE_KEY,HOC_HISTORY_NO,HOC_EXAM_DT,HOC_INQ_NO,HOC_USE_PUR,HOC_"
      "WEAR_EAR,HOC_SALES_CD,HOC_INT_CD,HOC_CLERK_CD,HOC_ATUKAI_NO,HOC_DOCTOR_CD,HOC_SERIAL_NO_R,"
      "HOC_SERIAL_NO_L,HOC_KARTE_NO,HOC_GUARANTEE_PERIOD,HOC_REMARKS1,HOC_REMARKS2,HOC_REMARKS3,"
      "HOC_YOBI1,HOC_YOBI2,HOC_YOBI3,HOC_YOBI4,HOC_YOBI5,HOC_YOBI6,HOC_YOBI7,HOC_YOBI8,HOC_YOBI9,"
      "HOC_YOBI10,HOC_FLG_1,HOC_FLG_2,HOC_UPD_DATETIME) Values ( "
      "'001',1203,3,'2016/07/04','00123',1,2,'10','11','12','13','14','SN-1','SN''2','K 7',"
      "'2019/07/03','O''Hara','two','three','y1','y2','y3','y4','y5','y6','y7','y8','y9','y10',"
      "'1','0','{now}')");
  EXPECT_EQ(Stored("CHOCHOBS"),
            Rows{"001|1203|3|2016/07/04|00123|1|2|10|11|12|13|14|SN-1|SN'2|K 7|2019/07/03|O'Hara|"
                 "two|three|y1|y2|y3|y4|y5|y6|y7|y8|y9|y10|1|0|2016/07/04 13:05:09"});
}

TEST_P(HistoryWriters, HearingAidDetail) {
  HearingDetailParams detail = HearingDetail();
  EXPECT_EQ(
      Queued(batch_->SetH_DTLData(detail)),
      "Insert Into "
      "CHOCHODTL(HOCD_STORE_NO,HOCD_UNIQUE_KEY,HOCD_HISTORY_NO,HOCD_KIND1,HOCD_INQ_NO,"
      "HOCD_KIDOR_1,HOCD_KIDOR_2,HOCD_KIDOR_3,HOCD_KIDOR_4,HOCD_KIDOR_5,HOCD_KIDOR_6,HOCD_KIDOR_7,"
      "HOCD_KIDOR_8,HOCD_KIDOR_9,HOCD_KIDOR_10,HOCD_KIDOR_11,"
      "HOCD_KIDOL_1,HOCD_KIDOL_2,HOCD_KIDOL_3,HOCD_KIDOL_4,HOCD_KIDOL_5,HOCD_KIDOL_6,HOCD_KIDOL_7,"
      "HOCD_KIDOL_8,HOCD_KIDOL_9,HOCD_KIDOL_10,HOCD_KIDOL_11,"
      "HOCD_KODOR_1,HOCD_KODOR_2,HOCD_KODOR_3,HOCD_KODOR_4,HOCD_KODOR_5,HOCD_KODOR_6,HOCD_KODOR_7,"
      "HOCD_KODOR_8,HOCD_KODOR_9,HOCD_KODOR_10,HOCD_KODOR_11,"
      "HOCD_KODOL_1,HOCD_KODOL_2,HOCD_KODOL_3,HOCD_KODOL_4,HOCD_KODOL_5,HOCD_KODOL_6,HOCD_KODOL_7,"
      "HOCD_KODOL_8,HOCD_KODOL_9,HOCD_KODOL_10,HOCD_KODOL_11,"
      "HOCD_YOBI1,HOCD_YOBI2,HOCD_YOBI3,HOCD_YOBI4,HOCD_YOBI5,HOCD_YOBI6,HOCD_YOBI7,HOCD_YOBI8,"
      "HOCD_YOBI9,HOCD_YOBI10,HOCD_FLG_1,HOCD_FLG_2,HOCD_UPD_DATETIME) Values ( "
      "'001',1203,3,1,'00123',"
      "'5','10','15','20','25','30','35','40','45','50','55',"
      "'15','20','25','30','35','40','45','50','55','60','65',"
      "'101','102','103','104','105','106','107','108','109','110','111',"
      "'201','202','203','204','205','206','207','208','209','210',Null,"
      "'y1','y2','y3','y4','y5','y6','y7','y8','y9','y10','1',Null,'{now}')");
  EXPECT_EQ(detail.Kido->At(2, 5).ToString(), "'35'");
  EXPECT_EQ(detail.Kodo->At(2, 11).ToString(), "Null");
  EXPECT_EQ(Stored("CHOCHODTL"),
            Rows{"001|1203|3|1|00123|5|10|15|20|25|30|35|40|45|50|55|15|20|25|30|35|40|45|50|55|"
                 "60|65|101|102|103|104|105|106|107|108|109|110|111|201|202|203|204|205|206|207|"
                 "208|209|210|NULL|y1|y2|y3|y4|y5|y6|y7|y8|y9|y10|1|NULL|2016/07/04 13:05:09"});
}

TEST_P(HistoryWriters, SalesLine) {
  EXPECT_EQ(
      Queued(batch_->SetUriageData(SalesLine())),
      "Insert Into "
      "CSALE(CSALE_STORE_NO,CSALE_UNIQUE_KEY,CSALE_KIND,CSALE_HISTORY_NO,CSALE_LINE_NO,CSALE_INQ_"
      "NO,CSALE_SALE_DT,CSALE_INT_CD,CSALE_ATUKAI_NO,CSALE_CLERK_CD,CSALE_GOODS_KBN,CSALE_GOODS_"
      "NM,CSALE_GOODS_CD,CSALE_MAKER,CSALE_CLASS,CSALE_GOODS_QTY,CSALE_TANKA,CSALE_AMT,CSALE_"
      "SALE_DCNT,CSALE_S_TTL,CSALE_TAX,CSALE_RECP_DCNT,CSALE_TOTAL,CSALE_RL_KBN,CSALE_DUMMY,"
      "CSALE_UPD_DATETIME,CSALE_TRANSE_FLG) Values ( "
      "'001',1203,1,3,2,'12345','2016/07/04','8','002','012',1,'O''Hara frame','4901234',"
      "'Maker''A',2,2,1981,-3,100,3861,309,0,4169,2.5,7,'{now}',1)");
  EXPECT_EQ(Stored("CSALE"),
            Rows{"001|1203|1|3|2|12345|2016/07/04|8|002|012|1|O'Hara frame|4901234|Maker'A|2|2|"
                 "1981|-3|100|3861|309|0|4169|2.5|7|2016/07/04 13:05:09|1"});
}

// Only the required parameters: the optional columns are stored as Null
// (the sales line's transfer flag as 0).
TEST_P(HistoryWriters, OnlyRequiredParameters) {
  ContactDetailParams contact = ContactDetail();
  contact.Yobi1 = contact.Yobi2 = contact.Yobi3 = contact.TranseFlg = "";
  SalesLineParams sale;
  sale.StoreCd = "001", sale.UniqueKey = "1203", sale.Kind = 1, sale.HistoryNo = 3, sale.LineNo = 2;
  ASSERT_EQ(batch_->SetC_DTLData(contact), 0);
  ASSERT_EQ(batch_->SetUriageData(sale), 0);
  EXPECT_EQ(Stored("CCNTDTL"),
            Rows{"001|1203|3|1|12345|1.2|1.5|0.9|8.6|-3|-0.75|180|14|1|8.7|-3.5|-1|90|14.2|2|NULL|"
                 "NULL|NULL|2016/07/04 13:05:09|NULL"});
  EXPECT_EQ(Stored("CSALE"), Rows{"001|1203|1|3|2|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"
                                  "NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"
                                  "2016/07/04 13:05:09|0"});
}

// Execute deletes every history row of the customer, in all eight tables,
// and inserts what was queued; other customers keep theirs.
TEST_P(HistoryWriters, ExecuteReplacesTheWholeHistory) {
  auto queue_all = [&](const std::string& key, const std::string& history) {
    auto keyed = [&](auto p) {
      p.UniqueKey = key;
      p.HistoryNo = history;
      return p;
    };
    SalesLineParams sale = SalesLine();
    sale.UniqueKey = key;
    sale.HistoryNo = std::stoi(history);
    ASSERT_EQ(batch_->SetG_BaseData(keyed(GlassesHeader())), 0);
    ASSERT_EQ(batch_->SetG_DTLData(keyed(GlassesDetail())), 0);
    ASSERT_EQ(batch_->SetC_BaseData(keyed(ContactHeader())), 0);
    ASSERT_EQ(batch_->SetC_DTLData(keyed(ContactDetail())), 0);
    ASSERT_EQ(batch_->SetH_BaseData(keyed(HearingHeader())), 0);
    ASSERT_EQ(batch_->SetH_DTLData(keyed(HearingDetail())), 0);
    ASSERT_EQ(batch_->SetUriageData(sale), 0);
    ASSERT_EQ(batch_->SetSYOKANData({"001", key, "history " + history, "0"}), 0);
  };
  queue_all("1203", "1");
  queue_all("77", "1");
  ASSERT_EQ(batch_->Execute("1203"), 0);
  batch_->Initialize();
  queue_all("1203", "2");
  ASSERT_EQ(batch_->Queue()->Count(), 8);
  ASSERT_EQ(batch_->Execute("1203"), 0);

  const std::vector<std::pair<std::string, std::string>> tables = {
      {"CGLASBS", "GLS_UNIQUE_KEY, GLS_HISTORY_NO"},
      {"CGLASDTL", "GLS_UNIQUE_KEY, GLS_HISTORY_NO"},
      {"CCNTBS", "CNT_UNIQUE_KEY, CNT_HISTORY_NO"},
      {"CCNTDTL", "CNT_UNIQUE_KEY, CNT_HISTORY_NO"},
      {"CHOCHOBS", "HOC_UNIQUE_KEY, HOC_HISTORY_NO"},
      {"CHOCHODTL", "HOCD_UNIQUE_KEY, HOCD_HISTORY_NO"},
      {"CSALE", "CSALE_UNIQUE_KEY, CSALE_HISTORY_NO"},
      {"CSYOKN", "CMNT_UNIQUE_KEY, CMNT_COMMENT_1"}};
  for (const auto& [table, columns] : tables) {
    auto rs = caller_->OpenRecordset("Select " + columns + " From " + table + " Order By 1",
                                     db::CursorType::kStatic, db::LockType::kReadOnly);
    std::vector<std::string> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      const auto names = rs->FieldNames();
      rows.push_back(rs->Field(names[0]).ToString() + ":" + rs->Field(names[1]).ToString());
    }
    const bool comment = table == "CSYOKN";
    EXPECT_EQ(rows,
              (Rows{comment ? "77:history 1" : "77:1", comment ? "1203:history 2" : "1203:2"}))
        << table;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryWriters,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
