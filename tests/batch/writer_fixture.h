// One customer, one maintenance transaction and one entry of each history
// table with a value in every parameter, and a batch object on a fresh database.
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

namespace kvt710::writer_testing {

inline DateTime FixedNow() {
  return DateTime{2016, 7, 4, 13, 5, 9};
}

// prefix1 to prefix16, with the given elements (counted from 1) replaced.
inline std::shared_ptr<SafeArray> Sixteen(const std::string& prefix,
                                          std::map<int, std::string> replaced = {}) {
  std::vector<std::string> items;
  for (int i = 1; i <= 16; ++i)
    items.push_back(replaced.count(i) ? replaced[i] : prefix + std::to_string(i));
  return SafeArray::OfStrings(1, items);
}

// `p` with one member set to `value`.
template <class P>
P With(P p, std::string P::*member, std::string value) {
  p.*member = std::move(value);
  return p;
}

// The aggregate of the given values, in member order.
template <class P, class... V>
P Of(V... values) {
  return P{values...};
}

// Customer 1203, member of family 1100, with every value form exercised.
inline BaseDataParams FullCustomer() {
  auto buy = SafeArray::OfStrings(
      1, {"1", "", "1", "", "1", "", "1", "", "1", "", "1", "", "1", "", "1", "x'y"});
  auto free = SafeArray::OfStrings(1, {"10", "20", "12.6", "40", "", "60", "2.5", "-2.5", "1,234.5",
                                       "abc", "0.5", "-0.5", "130", "140", "150", "160"});
  auto a = Sixteen("a", {{2, " a 2 "}}), b = Sixteen("b", {{4, "   "}}), c = Sixteen("c");
  auto event = Sixteen("E", {{1, ""}});
  return Of<BaseDataParams>("001", "1203", " 123 ", "4567", "  ﾔﾏﾀﾞ ﾀﾛｳ  ", " 山田 太郎 ", "1100",
                            " 2 ", "F1", "2", " K'9 ", "1", "1970/3/5", "2001-4-1",
                            " 03-1234-5678 ", "090-1111-2222", "   ", "3", " after 6 o'clock ",
                            "taro@example.jp", "100-0001", "東京都千代田区", "1-1", "Rm 2'B", buy,
                            free, a, b, c, "2020", "2016/07/04", "12", "-1.25", " 0.5 ", "-0.75",
                            "1500", "2999.5", "", "45000.4", "1", " note 'x' ", event, " B01 ",
                            "/pics/1203.jpg", "13", "1", "", "3.5", "x", "y5", "", "ABC123", 1);
}

// Only the store, key and family key, six arrays of sixteen empty texts.
inline BaseDataParams MinimalCustomer() {
  BaseDataParams p;
  p.StoreCd = "001", p.UniqueKey = "1203", p.FamilyKey = "1100";
  for (StringArray* array :
       {&p.BuyFlg, &p.C_FREE, &p.C_Free17, &p.C_Free18, &p.C_Free19, &p.EventFlg})
    *array = SafeArray::OfStrings(1, std::vector<std::string>(16));
  return p;
}

inline MenteDataParams FullMente() {
  return Of<MenteDataParams>("001", "2", "1203", "1", " 5 ", "  O'Hara  ", " 山田 太郎 ", "1",
                             "1970/1/2", " 03-1234-5678 ", "2016-07-04", "C7", "3", "", "1");
}

inline GlassesHeaderParams GlassesHeader() {
  return Of<GlassesHeaderParams>("001", "1203", "3", "2016/7/4", " 12345 ", " 2", "1", "3", "7",
                                 " 012 ", "5", "0.1", "0.2", "1.2", " brown ", "gray", "25", "30",
                                 "10", "15", "it's", "UV", "1", "2", "11", "12", "0", "1", "4",
                                 " it's ", "1", "-1.25", "-0.5", "-0.75", "-1.5", "-0.25", "0", "2",
                                 "3", "-1", "1.75", "2.25", "-2", "8", "9", "ab", "0");
}

inline GlassesDetailParams GlassesDetail() {
  return Of<GlassesDetailParams>("001", "1203", "3", "2", " 12345 ", "0.5", "0.8", "1", "-1.25",
                                 "-0.5", "90 ", "2", "1", "2", "3", "4", "32", "30", "22", "-1",
                                 "-0.75", "180", "2.5", "1.5", "2.5", "3.5", "5", "31.5", "29.5",
                                 "21", "1");
}

inline ContactHeaderParams ContactHeader() {
  return Of<ContactHeaderParams>(
      "001", "1203", "3", "2016/7/4", "12345", "1", "7 ", "8", "012", "5", "0.1", "0.2", "0.3",
      "7.85", "7.9", "180", "7.7", "7.8", "90", "1", "2", "0", "5", "12", " it's ", "-3", "-2.5",
      "-0.5", "-3.25", "-2.75", "-0.75", "1", "2", "3", "4", "5", "6", "7", "8", "ab", "1");
}

inline ContactDetailParams ContactDetail() {
  return Of<ContactDetailParams>("001", "1203", "3", "1", "not a date", "12345", "1.2", "1.5",
                                 "0.9", "8.6", "-3", "-0.75", "180", "14", "1", "8.7", "-3.5", "-1",
                                 "90", "14.2", "2", "3", "4", " ab ", "0");
}

inline HearingHeaderParams HearingHeader() {
  return Of<HearingHeaderParams>("001", "1203", "3", "2016/7/4", "00123", "1", "2", "10", "11",
                                 "  12", "13", "14", "SN-1", "SN'2", "K 7", "2019-07-03", "O'Hara",
                                 " two ", "three", "y1", "y2", "y3", "y4", "y5", "y6", "y7", "y8",
                                 "y9", "y10", "1", "0");
}

// Kido(1, n) = 5n, Kido(2, n) = 5n + 10 (Kido(2, 5) with blanks around);
// Kodo(1, n) = 100 + n, Kodo(2, n) = 200 + n, except an empty Kodo(2, 11).
inline HearingDetailParams HearingDetail() {
  std::vector<std::vector<std::string>> kido(2), kodo(2);
  for (int n = 1; n <= 11; ++n) {
    for (int i = 0; i < 2; ++i) kido[i].push_back(std::to_string(5 * n + 10 * i));
    for (int i = 0; i < 2; ++i) kodo[i].push_back(std::to_string(100 * (i + 1) + n));
  }
  kido[1][4] = " 35 ", kodo[1][10] = "";
  return Of<HearingDetailParams>("001", "1203", "3", "1", "x", "00123",
                                 SafeArray::OfStrings2(1, 1, kido),
                                 SafeArray::OfStrings2(1, 1, kodo), "y1", "y2", "y3", "y4", "y5",
                                 "y6", "y7", "y8", "y9", "y10", "1", "");
}

inline SalesLineParams SalesLine() {
  return Of<SalesLineParams>("001", "1203", 1, 3, 2, "12345", "2016/7/4", "8", "002", "012", "1",
                             "  O'Hara frame ", "4901234", "Maker'A", "2", "2", "1980.5", "-2.5",
                             "100", "3861", "308.8", "0", "4169", "2.5", "7", 1);
}

// The INSERT of FullCustomer() at FixedNow().
inline constexpr const char* kCustomerInsert =
    "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_INQ_NO,CUBS_CUSTOMER_NO,"
    "CUBS_KANA_MEI,CUBS_CUSTOM_MEI,CUBS_TELKEY,CUBS_FAMILY_KEY,CUBS_FAMILY_KBN,CUBS_FAMILY_CD,"
    "CUBS_FAMILY_CNT,CUBS_KARUTE_NO,CUBS_DATA_FLG,CUBS_SEX,CUBS_BIRTH_DT,CUBS_BIRTH_MD,"
    "CUBS_VISIT_DT,CUBS_HOME_TEL,CUBS_CARRY_TEL,CUBS_CONNECT_TEL,CUBS_CONNECT_KBN,"
    "CUBS_CONNECT_CMT,CUBS_E_MAIL,CUBS_MAILNO,CUBS_ADDRESS1,CUBS_ADDRESS2,CUBS_KATAGAKI,"
    "CUBS_BUY1_FLG,CUBS_BUY2_FLG,CUBS_BUY3_FLG,CUBS_BUY4_FLG,CUBS_BUY5_FLG,CUBS_BUY6_FLG,"
    "CUBS_BUY7_FLG,CUBS_BUY8_FLG,CUBS_BUY9_FLG,CUBS_BUY10_FLG,CUBS_BUY11_FLG,CUBS_BUY12_FLG,"
    "CUBS_BUY13_FLG,CUBS_BUY14_FLG,CUBS_BUY15_FLG,CUBS_BUY16_FLG,CUBS_FREE_1,CUBS_FREE_2,"
    "CUBS_FREE_3,CUBS_FREE_4,CUBS_FREE_5,CUBS_FREE_6,CUBS_FREE_7,CUBS_FREE_8,CUBS_FREE_9,"
    "CUBS_FREE_10,CUBS_FREE_11,CUBS_FREE_12,CUBS_FREE_13,CUBS_FREE_14,CUBS_FREE_15,"
    "CUBS_FREE_16,CUBS_FREE_17_1,CUBS_FREE_17_2,CUBS_FREE_17_3,CUBS_FREE_17_4,CUBS_FREE_17_5,"
    "CUBS_FREE_17_6,CUBS_FREE_17_7,CUBS_FREE_17_8,CUBS_FREE_17_9,CUBS_FREE_17_10,"
    "CUBS_FREE_17_11,CUBS_FREE_17_12,CUBS_FREE_17_13,CUBS_FREE_17_14,CUBS_FREE_17_15,"
    "CUBS_FREE_17_16,CUBS_FREE_18_1,CUBS_FREE_18_2,CUBS_FREE_18_3,CUBS_FREE_18_4,"
    "CUBS_FREE_18_5,CUBS_FREE_18_6,CUBS_FREE_18_7,CUBS_FREE_18_8,CUBS_FREE_18_9,"
    "CUBS_FREE_18_10,CUBS_FREE_18_11,CUBS_FREE_18_12,CUBS_FREE_18_13,CUBS_FREE_18_14,"
    "CUBS_FREE_18_15,CUBS_FREE_18_16,CUBS_FREE_19_1,CUBS_FREE_19_2,CUBS_FREE_19_3,"
    "CUBS_FREE_19_4,CUBS_FREE_19_5,CUBS_FREE_19_6,CUBS_FREE_19_7,CUBS_FREE_19_8,CUBS_FREE_19_9,"
    "CUBS_FREE_19_10,CUBS_FREE_19_11,CUBS_FREE_19_12,CUBS_FREE_19_13,CUBS_FREE_19_14,"
    "CUBS_FREE_19_15,CUBS_FREE_19_16,CUBS_LICENCE_UPD,CUBS_NEWBST_COMING,CUBS_BUY_TIMES,"
    "CUBS_F_DEGREE_SUM,CUBS_N_DEGREE_SUM,CUBS_CYL_SUM,CUBS_GL_AMT_SUM,CUBS_CL_AMT_SUM,"
    "CUBS_OTH_AMT_SUM,CUBS_HO_AMT_SUM,CUBS_DM_FLG,CUBS_REMARKS,CUBS_EVENT_FLG_1,"
    "CUBS_EVENT_FLG_2,CUBS_EVENT_FLG_3,CUBS_EVENT_FLG_4,CUBS_EVENT_FLG_5,CUBS_EVENT_FLG_6,"
    "CUBS_EVENT_FLG_7,CUBS_EVENT_FLG_8,CUBS_EVENT_FLG_9,CUBS_EVENT_FLG_10,CUBS_EVENT_FLG_11,"
    "CUBS_EVENT_FLG_12,CUBS_EVENT_FLG_13,CUBS_EVENT_FLG_14,CUBS_EVENT_FLG_15,CUBS_EVENT_FLG_16,"
    "CUBS_BEST_KEY,CUBS_BEST_LINK,CUBS_JPG_PATH,CUBS_AREA_CD,CUBS_YOBI1,CUBS_YOBI2,CUBS_YOBI3,"
    "CUBS_YOBI4,CUBS_YOBI5,CUBS_YOBI6,CUBS_ADRES_VAR_CD,CUBS_UPD_DATE,"
    "CUBS_TRANSE_FLG) Values ( '001',1203,'123','4567','ﾔﾏﾀﾞ ﾀﾛｳ','山田 太郎','5678',1100,'2','F1',"
    "2,' K''9 ','0',1,'1970/03/05',0305,'2001/04/01',' 03-1234-5678 ','090-1111-2222',Null,3,"
    "'after 6 o''clock','taro@example.jp','100-0001','東京都千代田区','1-1','Rm 2''B','1',Null,'1',"
    "Null,'1',Null,'1',Null,'1',Null,'1',Null,'1',Null,'1','x''y',10,20,13,40,Null,60,3,-3,"
    "1235,Null,1,-1,130,140,150,160,'a1','a 2','a3','a4','a5','a6','a7','a8','a9','a10','a11',"
    "'a12','a13','a14','a15','a16','b1','b2','b3',Null,'b5','b6','b7','b8','b9','b10','b11',"
    "'b12','b13','b14','b15','b16','c1','c2','c3','c4','c5','c6','c7','c8','c9','c10','c11',"
    "'c12','c13','c14','c15','c16',2020,'2016/07/04',12,-1.25, 0.5 ,-0.75,1500,3000,Null,45000,"
    "1,'note ''x''',Null,'E2','E3','E4','E5','E6','E7','E8','E9','E10','E11','E12','E13','E14',"
    "'E15','E16','B01','1','/pics/1203.jpg',13,1,Null,3.5,Null,'y5',Null,'ABC123',"
    "'2016/07/04 13:05:09',1)";

// Column -> literal of an "Insert Into T(c1,...) Values ( v1,...)" or an
// "Update T Set c1=v1,... Where ..." text.
inline std::map<std::string, std::string> LiteralsOf(const std::string& sql) {
  auto split = [](const std::string& list) {
    std::vector<std::string> items(1);
    bool quoted = false;
    for (char c : list) {
      if (c == '\'') quoted = !quoted;  // a doubled quote toggles twice
      if (c == ',' && !quoted) {
        items.emplace_back();
      } else {
        items.back() += c;
      }
    }
    return items;
  };
  std::map<std::string, std::string> row;
  const size_t open = sql.find('('), values = sql.find(") Values ( ");
  const size_t set = sql.find(" Set "), where = sql.rfind(" Where ");
  if (values != std::string::npos) {
    auto names = split(sql.substr(open + 1, values - open - 1));
    auto literals = split(sql.substr(values + 11, sql.size() - values - 12));
    for (size_t i = 0; i < names.size() && i < literals.size(); ++i) row[names[i]] = literals[i];
  } else if (set != std::string::npos && where != std::string::npos) {
    for (const std::string& item : split(sql.substr(set + 5, where - set - 5)))
      row[item.substr(0, item.find('='))] = item.substr(item.find('=') + 1);
  }
  return row;
}

// A batch object whose own and caller connections reach one fresh database.
struct Bench {
  explicit Bench(testing_support::Backend backend) : database(backend) {
    settings.UseConnection(database.connection_string());
    batch = KVT710C3::Create();
    caller = database.Connect();
    batch->SetDBCon(caller);
  }
  testing_support::TestDatabase database;
  testing_support::ScopedSettings settings;
  std::shared_ptr<KVT710C3> batch;
  std::shared_ptr<db::Connection> caller;
};

// The command texts sent while `body` runs, as the trace shows them.
template <class F>
std::vector<std::string> Sent(F&& body) {
  testing_support::TempDir dir;
  testing_support::ScopedEnv env("KVT710_TRACE_SQL", (dir / "trace.jsonl").string());
  body();
  return testing_support::ReadLines(dir / "trace.jsonl");
}

using testing_support::Failure;

// Every report that reaches an error reporter while it lives.
class ReportLog {
 public:
  ReportLog() : handle_(ListenForReports([this](const Report& r) { reports.push_back(r); })) {}
  std::vector<Report> reports;

 private:
  std::shared_ptr<void> handle_;
};

}  // namespace kvt710::writer_testing
