// One customer with a value in every parameter of SetBaseData and
// SetMENTEData, and the statements they must give, written out column by
// column. Shared by the unit tests of master/ and the integration tests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "catalogue/writer_params.h"
#include "platform/automation/safe_array.h"
#include "platform/db/connection.h"
#include "platform/sibling/prw520.h"
#include "tests/support/test_support.h"

namespace kvt710::master_testing {

// The clock of every expected text below.
inline DateTime FixedNow() {
  return DateTime{2016, 7, 4, 13, 5, 9};
}

inline std::shared_ptr<SafeArray> Sixteen(std::vector<std::string> items) {
  return SafeArray::OfStrings(1, items);
}

// Customer 1203, member of family 1100, with every value form exercised.
inline BaseDataParams FullCustomer() {
  BaseDataParams p;
  p.StoreCd = "001";
  p.UniqueKey = "1203";
  p.DenpyoNo = " 123 ";
  p.CustomerNo = "4567";
  p.KanaNm = "  ﾔﾏﾀﾞ ﾀﾛｳ  ";
  p.KanjiNm = " 山田 太郎 ";
  p.FamilyKey = "1100";
  p.FamilyKbn = " 2 ";
  p.FamilyCd = "F1";
  p.FamilyCnt = "2";
  p.KaruteNo = " K'9 ";
  p.C_Sex = "1";
  p.C_Birthday = "1970/3/5";
  p.FirstVisit = "2001-4-1";
  p.HomeTel = " 03-1234-5678 ";
  p.PortableTel = "090-1111-2222";
  p.ConnectTel = "   ";
  p.ConnectKbn = "3";
  p.ConnectRemarks = " after 6 o'clock ";
  p.E_mail_Add = "taro@example.jp";
  p.ZipCd = "100-0001";
  p.C_Address1 = "東京都千代田区";
  p.C_Address2 = "1-1";
  p.C_Address3 = "Rm 2'B";
  std::vector<std::string> buy, free, free17, free18, free19, event;
  for (int i = 1; i <= 16; ++i) {
    buy.push_back(i % 2 ? "1" : "");
    free.push_back(std::to_string(i * 10));
    free17.push_back("a" + std::to_string(i));
    free18.push_back("b" + std::to_string(i));
    free19.push_back("c" + std::to_string(i));
    event.push_back("E" + std::to_string(i));
  }
  buy[15] = "x'y";
  free[2] = "12.6";
  free[4] = "";
  free[6] = "2.5";
  free[7] = "-2.5";
  free[8] = "1,234.5";
  free[9] = "abc";
  free[10] = "0.5";
  free[11] = "-0.5";
  free17[1] = " a 2 ";
  free18[3] = "   ";
  event[0] = "";
  p.BuyFlg = Sixteen(buy);
  p.C_FREE = Sixteen(free);
  p.C_Free17 = Sixteen(free17);
  p.C_Free18 = Sixteen(free18);
  p.C_Free19 = Sixteen(free19);
  p.LicenseYear = "2020";
  p.NewestVisit = "2016/07/04";
  p.BuyTimes = "12";
  p.FarDegree = "-1.25";
  p.NearDegree = " 0.5 ";
  p.CylDegree = "-0.75";
  p.GlassMoney = "1500";
  p.ContactMoney = "2999.5";
  p.OtherMoney = "";
  p.HochoMoney = "45000.4";
  p.DM_Flag = "1";
  p.C_Remarks = " note 'x' ";
  p.EventFlg = Sixteen(event);
  p.Bestkey = " B01 ";
  p.JpegPath = "/pics/1203.jpg";
  p.AreaCD = "13";
  p.Yobi1 = "1";
  p.Yobi2 = "";
  p.Yobi3 = "3.5";
  p.Yobi4 = "x";
  p.Yobi5 = "y5";
  p.Yobi6 = "";
  p.AddressBarcode = "ABC123";
  p.TranseFlg = 1;
  return p;
}

// A customer with empty values and six arrays of sixteen empty texts.
inline BaseDataParams MinimalCustomer(std::string key = "1203") {
  BaseDataParams p;
  p.StoreCd = "001";
  p.UniqueKey = std::move(key);
  for (StringArray BaseDataParams::*array :
       {&BaseDataParams::BuyFlg, &BaseDataParams::C_FREE, &BaseDataParams::C_Free17,
        &BaseDataParams::C_Free18, &BaseDataParams::C_Free19, &BaseDataParams::EventFlg})
    p.*array = Sixteen(std::vector<std::string>(16));
  return p;
}

// The INSERT of FullCustomer() at FixedNow().
inline const char* FullCustomerInsert() {
  return "Insert Into "
         "CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_INQ_NO,CUBS_CUSTOMER_NO,CUBS_KANA_MEI"
         ",CUBS_CUSTOM_MEI,CUBS_TELKEY,CUBS_FAMILY_KEY,CUBS_FAMILY_KBN,CUBS_FAMILY_CD,CUBS_FAMILY_"
         "CNT"
         ",CUBS_KARUTE_NO,CUBS_DATA_FLG,CUBS_SEX,CUBS_BIRTH_DT,CUBS_BIRTH_MD,CUBS_VISIT_DT"
         ",CUBS_HOME_TEL,CUBS_CARRY_TEL,CUBS_CONNECT_TEL,CUBS_CONNECT_KBN,CUBS_CONNECT_CMT,CUBS_E_"
         "MAIL"
         ",CUBS_MAILNO,CUBS_ADDRESS1,CUBS_ADDRESS2,CUBS_KATAGAKI,CUBS_BUY1_FLG,CUBS_BUY2_FLG"
         ",CUBS_BUY3_FLG,CUBS_BUY4_FLG,CUBS_BUY5_FLG,CUBS_BUY6_FLG,CUBS_BUY7_FLG,CUBS_BUY8_FLG"
         ",CUBS_BUY9_FLG,CUBS_BUY10_FLG,CUBS_BUY11_FLG,CUBS_BUY12_FLG,CUBS_BUY13_FLG,CUBS_BUY14_FLG"
         ",CUBS_BUY15_FLG,CUBS_BUY16_FLG,CUBS_FREE_1,CUBS_FREE_2,CUBS_FREE_3,CUBS_FREE_4,CUBS_FREE_"
         "5"
         ",CUBS_FREE_6,CUBS_FREE_7,CUBS_FREE_8,CUBS_FREE_9,CUBS_FREE_10,CUBS_FREE_11,CUBS_FREE_12"
         ",CUBS_FREE_13,CUBS_FREE_14,CUBS_FREE_15,CUBS_FREE_16,CUBS_FREE_17_1,CUBS_FREE_17_2"
         ",CUBS_FREE_17_3,CUBS_FREE_17_4,CUBS_FREE_17_5,CUBS_FREE_17_6,CUBS_FREE_17_7,CUBS_FREE_17_"
         "8"
         ",CUBS_FREE_17_9,CUBS_FREE_17_10,CUBS_FREE_17_11,CUBS_FREE_17_12,CUBS_FREE_17_13"
         ",CUBS_FREE_17_14,CUBS_FREE_17_15,CUBS_FREE_17_16,CUBS_FREE_18_1,CUBS_FREE_18_2"
         ",CUBS_FREE_18_3,CUBS_FREE_18_4,CUBS_FREE_18_5,CUBS_FREE_18_6,CUBS_FREE_18_7,CUBS_FREE_18_"
         "8"
         ",CUBS_FREE_18_9,CUBS_FREE_18_10,CUBS_FREE_18_11,CUBS_FREE_18_12,CUBS_FREE_18_13"
         ",CUBS_FREE_18_14,CUBS_FREE_18_15,CUBS_FREE_18_16,CUBS_FREE_19_1,CUBS_FREE_19_2"
         ",CUBS_FREE_19_3,CUBS_FREE_19_4,CUBS_FREE_19_5,CUBS_FREE_19_6,CUBS_FREE_19_7,CUBS_FREE_19_"
         "8"
         ",CUBS_FREE_19_9,CUBS_FREE_19_10,CUBS_FREE_19_11,CUBS_FREE_19_12,CUBS_FREE_19_13"
         ",CUBS_FREE_19_14,CUBS_FREE_19_15,CUBS_FREE_19_16,CUBS_LICENCE_UPD,CUBS_NEWBST_COMING"
         ",CUBS_BUY_TIMES,CUBS_F_DEGREE_SUM,CUBS_N_DEGREE_SUM,CUBS_CYL_SUM,CUBS_GL_AMT_SUM"
         ",CUBS_CL_AMT_SUM,CUBS_OTH_AMT_SUM,CUBS_HO_AMT_SUM,CUBS_DM_FLG,CUBS_REMARKS,CUBS_EVENT_"
         "FLG_1"
         ",CUBS_EVENT_FLG_2,CUBS_EVENT_FLG_3,CUBS_EVENT_FLG_4,CUBS_EVENT_FLG_5,CUBS_EVENT_FLG_6"
         ",CUBS_EVENT_FLG_7,CUBS_EVENT_FLG_8,CUBS_EVENT_FLG_9,CUBS_EVENT_FLG_10,CUBS_EVENT_FLG_11"
         ",CUBS_EVENT_FLG_12,CUBS_EVENT_FLG_13,CUBS_EVENT_FLG_14,CUBS_EVENT_FLG_15,CUBS_EVENT_FLG_"
         "16"
         ",CUBS_BEST_KEY,CUBS_BEST_LINK,CUBS_JPG_PATH,CUBS_AREA_CD,CUBS_YOBI1,CUBS_YOBI2,CUBS_YOBI3"
         ",CUBS_YOBI4,CUBS_YOBI5,CUBS_YOBI6,CUBS_ADRES_VAR_CD,CUBS_UPD_DATE"
         ",CUBS_TRANSE_FLG) Values ( '001',1203,'123','4567','ﾔﾏﾀﾞ ﾀﾛｳ','山田 "
         "太郎','5678',1100,'2','F1',2"
         ",' K''9 ','0',1,'1970/03/05',0305,'2001/04/01',' 03-1234-5678 ','090-1111-2222',Null,3"
         ",'after 6 o''clock','taro@example.jp','100-0001','東京都千代田区','1-1','Rm "
         "2''B','1',Null,'1',Null"
         ",'1',Null,'1',Null,'1',Null,'1',Null,'1',Null,'1','x''y',10,20,13,40,Null,60,3,-3,1235,"
         "Null"
         ",1,-1,130,140,150,160,'a1','a "
         "2','a3','a4','a5','a6','a7','a8','a9','a10','a11','a12','a13'"
         ",'a14','a15','a16','b1','b2','b3',Null,'b5','b6','b7','b8','b9','b10','b11','b12','b13'"
         ",'b14','b15','b16','c1','c2','c3','c4','c5','c6','c7','c8','c9','c10','c11','c12','c13'"
         ",'c14','c15','c16',2020,'2016/07/04',12,-1.25, 0.5 ,-0.75,1500,3000,Null,45000,1"
         ",'note ''x''',Null,'E2','E3','E4','E5','E6','E7','E8','E9','E10','E11','E12','E13','E14'"
         ",'E15','E16','B01','1','/pics/1203.jpg',13,1,Null,3.5,Null,'y5',Null,'ABC123'"
         ",'2016/07/04 13:05:09',1)";
}

// The UPDATE of FullCustomer() at FixedNow(): CUBS_REMARKS follows CUBS_CYL_SUM.
inline const char* FullCustomerUpdate() {
  return "Update CBASE Set CUBS_STORE_NO='001',CUBS_UNIQUE_KEY=1203,CUBS_INQ_NO='123'"
         ",CUBS_CUSTOMER_NO='4567',CUBS_KANA_MEI='ﾔﾏﾀﾞ ﾀﾛｳ',CUBS_CUSTOM_MEI='山田 "
         "太郎',CUBS_TELKEY='5678'"
         ",CUBS_FAMILY_KEY=1100,CUBS_FAMILY_KBN='2',CUBS_FAMILY_CD='F1',CUBS_FAMILY_CNT=2"
         ",CUBS_KARUTE_NO=' K''9 ',CUBS_DATA_FLG='0',CUBS_SEX=1,CUBS_BIRTH_DT='1970/03/05'"
         ",CUBS_BIRTH_MD=0305,CUBS_VISIT_DT='2001/04/01',CUBS_HOME_TEL=' 03-1234-5678 '"
         ",CUBS_CARRY_TEL='090-1111-2222',CUBS_CONNECT_TEL=Null,CUBS_CONNECT_KBN=3"
         ",CUBS_CONNECT_CMT='after 6 o''clock',CUBS_E_MAIL='taro@example.jp',CUBS_MAILNO='100-0001'"
         ",CUBS_ADDRESS1='東京都千代田区',CUBS_ADDRESS2='1-1',CUBS_KATAGAKI='Rm "
         "2''B',CUBS_BUY1_FLG='1'"
         ",CUBS_BUY2_FLG=Null,CUBS_BUY3_FLG='1',CUBS_BUY4_FLG=Null,CUBS_BUY5_FLG='1'"
         ",CUBS_BUY6_FLG=Null,CUBS_BUY7_FLG='1',CUBS_BUY8_FLG=Null,CUBS_BUY9_FLG='1'"
         ",CUBS_BUY10_FLG=Null,CUBS_BUY11_FLG='1',CUBS_BUY12_FLG=Null,CUBS_BUY13_FLG='1'"
         ",CUBS_BUY14_FLG=Null,CUBS_BUY15_FLG='1',CUBS_BUY16_FLG='x''y',CUBS_FREE_1=10,CUBS_FREE_2="
         "20"
         ",CUBS_FREE_3=13,CUBS_FREE_4=40,CUBS_FREE_5=Null,CUBS_FREE_6=60,CUBS_FREE_7=3,CUBS_FREE_8="
         "-3"
         ",CUBS_FREE_9=1235,CUBS_FREE_10=Null,CUBS_FREE_11=1,CUBS_FREE_12=-1,CUBS_FREE_13=130"
         ",CUBS_FREE_14=140,CUBS_FREE_15=150,CUBS_FREE_16=160,CUBS_FREE_17_1='a1',CUBS_FREE_17_2='"
         "a 2'"
         ",CUBS_FREE_17_3='a3',CUBS_FREE_17_4='a4',CUBS_FREE_17_5='a5',CUBS_FREE_17_6='a6'"
         ",CUBS_FREE_17_7='a7',CUBS_FREE_17_8='a8',CUBS_FREE_17_9='a9',CUBS_FREE_17_10='a10'"
         ",CUBS_FREE_17_11='a11',CUBS_FREE_17_12='a12',CUBS_FREE_17_13='a13',CUBS_FREE_17_14='a14'"
         ",CUBS_FREE_17_15='a15',CUBS_FREE_17_16='a16',CUBS_FREE_18_1='b1',CUBS_FREE_18_2='b2'"
         ",CUBS_FREE_18_3='b3',CUBS_FREE_18_4=Null,CUBS_FREE_18_5='b5',CUBS_FREE_18_6='b6'"
         ",CUBS_FREE_18_7='b7',CUBS_FREE_18_8='b8',CUBS_FREE_18_9='b9',CUBS_FREE_18_10='b10'"
         ",CUBS_FREE_18_11='b11',CUBS_FREE_18_12='b12',CUBS_FREE_18_13='b13',CUBS_FREE_18_14='b14'"
         ",CUBS_FREE_18_15='b15',CUBS_FREE_18_16='b16',CUBS_FREE_19_1='c1',CUBS_FREE_19_2='c2'"
         ",CUBS_FREE_19_3='c3',CUBS_FREE_19_4='c4',CUBS_FREE_19_5='c5',CUBS_FREE_19_6='c6'"
         ",CUBS_FREE_19_7='c7',CUBS_FREE_19_8='c8',CUBS_FREE_19_9='c9',CUBS_FREE_19_10='c10'"
         ",CUBS_FREE_19_11='c11',CUBS_FREE_19_12='c12',CUBS_FREE_19_13='c13',CUBS_FREE_19_14='c14'"
         ",CUBS_FREE_19_15='c15',CUBS_FREE_19_16='c16',CUBS_LICENCE_UPD=2020"
         ",CUBS_NEWBST_COMING='2016/07/04',CUBS_BUY_TIMES=12,CUBS_F_DEGREE_SUM=-1.25"
         ",CUBS_N_DEGREE_SUM= 0.5 ,CUBS_CYL_SUM=-0.75,CUBS_REMARKS='note "
         "''x''',CUBS_GL_AMT_SUM=1500"
         ",CUBS_CL_AMT_SUM=3000,CUBS_OTH_AMT_SUM=Null,CUBS_HO_AMT_SUM=45000,CUBS_DM_FLG=1"
         ",CUBS_EVENT_FLG_1=Null,CUBS_EVENT_FLG_2='E2',CUBS_EVENT_FLG_3='E3',CUBS_EVENT_FLG_4='E4'"
         ",CUBS_EVENT_FLG_5='E5',CUBS_EVENT_FLG_6='E6',CUBS_EVENT_FLG_7='E7',CUBS_EVENT_FLG_8='E8'"
         ",CUBS_EVENT_FLG_9='E9',CUBS_EVENT_FLG_10='E10',CUBS_EVENT_FLG_11='E11'"
         ",CUBS_EVENT_FLG_12='E12',CUBS_EVENT_FLG_13='E13',CUBS_EVENT_FLG_14='E14'"
         ",CUBS_EVENT_FLG_15='E15',CUBS_EVENT_FLG_16='E16',CUBS_BEST_KEY='B01',CUBS_BEST_LINK='1'"
         ",CUBS_JPG_PATH='/pics/"
         "1203.jpg',CUBS_AREA_CD=13,CUBS_YOBI1=1,CUBS_YOBI2=Null,CUBS_YOBI3=3.5"
         ",CUBS_YOBI4=Null,CUBS_YOBI5='y5',CUBS_YOBI6=Null,CUBS_ADRES_VAR_CD='ABC123'"
         ",CUBS_UPD_DATE='2016/07/04 13:05:09',CUBS_TRANSE_FLG=1 Where CUBS_UNIQUE_KEY=1203";
}

// A maintenance transaction of customer 1203 with every value form exercised.
inline MenteDataParams FullMente() {
  return {"001",        "2",           "1203", "1",        " 5 ",
          "  O'Hara  ", " 山田 太郎 ", "1",    "1970/1/2", " 03-1234-5678 ",
          "2016-07-04", "C7",          "3",    "",         "1"};
}

inline const char* FullMenteInsert() {
  return "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY,MTRN_KBN,"
         "MTRN_MOTO_STORE,MTRN_KANA_MEI,MTRN_CUSTOM_MEI,MTRN_SEX,MTRN_BIRTH_DT,MTRN_HOME_TEL,"
         "MTRN_NEWBST_COMING,MTRN_CLERK_CD,MTRN_ZYOTAI_KBN,MTRN_UPDATE,MTRN_TRANSE_FLG,"
         "MTRN_UPD_FLG) Values ( '001',2,1203,1,'5','O''Hara','山田 太郎',1,'1970/01/02',"
         "'03-1234-5678','2016/07/04','C7',3,'2016/07/04 13:05:09',Null,1)";
}

inline const char* FullMenteUpdate() {
  return "Update CMENTE_T Set MTRN_STORE_NO='001',MTRN_HT_KBN=2,MTRN_UNIQUE_KEY=1203,MTRN_KBN=1,"
         "MTRN_MOTO_STORE='5',MTRN_KANA_MEI='O''Hara',MTRN_CUSTOM_MEI='山田 太郎',MTRN_SEX=1,"
         "MTRN_BIRTH_DT='1970/01/02',MTRN_HOME_TEL='03-1234-5678',"
         "MTRN_NEWBST_COMING='2016/07/04',MTRN_CLERK_CD='C7',MTRN_ZYOTAI_KBN=3,"
         "MTRN_UPDATE='2016/07/04 13:05:09',MTRN_TRANSE_FLG=Null,MTRN_UPD_FLG=1 "
         "Where MTRN_STORE_NO='001' And MTRN_HT_KBN=2 And MTRN_UNIQUE_KEY=1203";
}

// Column -> literal of an INSERT text, for tests that look at a few columns.
inline std::map<std::string, std::string> LiteralsOf(const std::string& insert) {
  auto split = [](const std::string& list) {
    std::vector<std::string> items(1);
    bool quoted = false;
    for (char c : list) {
      if (c == '\'') quoted = !quoted;
      if (c == ',' && !quoted) {
        items.emplace_back();
      } else {
        items.back() += c;
      }
    }
    return items;
  };
  const size_t open = insert.find('(');
  const size_t values = insert.find(") Values ( ");
  if (open == std::string::npos || values == std::string::npos) return {};
  std::vector<std::string> names = split(insert.substr(open + 1, values - open - 1));
  std::vector<std::string> literals =
      split(insert.substr(values + 11, insert.size() - values - 12));
  std::map<std::string, std::string> result;
  for (size_t i = 0; i < names.size() && i < literals.size(); ++i) result[names[i]] = literals[i];
  return result;
}

// A batch object whose own and caller connections both reach one fresh
// database of the given backend.
struct Bench {
  explicit Bench(testing_support::Backend backend) : database(backend) {
    settings.UseConnection(database.connection_string());
    batch = KVT710C3::Create();
    caller = database.Connect();
    batch->SetDBCon(caller);
  }
  // The queued statements, one a line.
  std::string Queued() const { return batch->Queue() ? batch->Queue()->Dump() : "<no queue>"; }

  testing_support::TestDatabase database;
  testing_support::ScopedSettings settings;
  std::shared_ptr<KVT710C3> batch;
  std::shared_ptr<db::Connection> caller;
};

// Every report that reaches an error reporter while it lives.
class ReportLog {
 public:
  ReportLog() : handle_(ListenForReports([this](const Report& r) { reports.push_back(r); })) {}
  std::vector<Report> reports;

 private:
  std::shared_ptr<void> handle_;
};

}  // namespace kvt710::master_testing
