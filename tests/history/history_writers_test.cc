// The history writers: which parameter feeds which column in which form,
// refused keys, and the hearing measurements rendered in the caller's arrays.
// The whole statement texts are compared in tests/integration.
#include <functional>
#include <map>
#include <sstream>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "platform/clock.h"
#include "platform/sibling/prw520.h"
#include "test_support.h"

namespace kvt710 {
namespace {

const char kNow[] = "'2016/07/04 13:05:09'";

// Column name -> literal of an "Insert Into T(c1,...) Values ( v1,...)" text.
std::map<std::string, std::string> InsertValues(const std::string& insert) {
  const size_t open = insert.find('('), values = insert.find(") Values ( ");
  std::vector<std::string> names, literals(1);
  std::stringstream list(insert.substr(open + 1, values - open - 1));
  for (std::string name; std::getline(list, name, ',');) names.push_back(name);
  bool quoted = false;
  for (char c : insert.substr(values + 11, insert.size() - values - 12)) {
    if (c == '\'') quoted = !quoted;  // a doubled quote toggles twice
    if (c == ',' && !quoted) {
      literals.emplace_back();
    } else {
      literals.back() += c;
    }
  }
  EXPECT_EQ(names.size(), literals.size()) << insert;
  std::map<std::string, std::string> row;
  for (size_t i = 0; i < names.size() && i < literals.size(); ++i) row[names[i]] = literals[i];
  return row;
}

class HistoryWriters : public ::testing::Test {
 protected:
  HistoryWriters() : clock_([] { return DateTime{2016, 7, 4, 13, 5, 9}; }) {
    batch_ = KVT710C3::Create();  // no settings: no own connection, writers still work
  }

  int32_t Count() const { return batch_->Queue() ? batch_->Queue()->Count() : 0; }
  std::string Last() const { return batch_->Queue()->Item(Count()); }
  std::string Value(const std::string& column) const { return InsertValues(Last())[column]; }
  std::string ValuesText() const { return Last().substr(Last().find(") Values ") + 9); }

  Variant Call(const std::string& member, std::vector<Variant>& args) {
    return batch_->Invoke(member, InvokeKind::kMethod, args);
  }

  testing_support::ScopedSettings settings_;
  ScopedClock clock_;
  std::shared_ptr<KVT710C3> batch_;
};

// A glasses, contact lens or hearing aid entry with valid keys.
template <class P>
P Entry(std::string unique_key = "1203", std::string history = "1", std::string kind = "1") {
  P p;
  p.StoreCd = "001";
  p.UniqueKey = std::move(unique_key);
  p.HistoryNo = std::move(history);
  if constexpr (requires { p.Kind; }) p.Kind = std::move(kind);
  return p;
}

SalesLineParams Sale(std::string unique_key = "1203") {
  SalesLineParams p;
  p.StoreCd = "001";
  p.UniqueKey = std::move(unique_key);
  p.Kind = 1, p.HistoryNo = 3, p.LineNo = 2;
  return p;
}

// Arguments "1" to "n" as texts: each value names its parameter's position.
std::vector<Variant> Positional(int n, const std::map<int, Variant>& special = {}) {
  std::vector<Variant> args;
  for (int i = 1; i <= n; ++i) {
    auto it = special.find(i);
    args.push_back(it != special.end() ? it->second : Variant::String(std::to_string(i)));
  }
  return args;
}

// A measurement array whose element (i, n) holds tag + "i-n".
std::shared_ptr<SafeArray> Measurements(const std::string& tag, int32_t lower1 = 1,
                                        int32_t lower2 = 1, int points = 11) {
  std::vector<std::vector<std::string>> rows;
  for (int32_t i = lower1; i <= 2; ++i) {
    rows.emplace_back();
    for (int32_t n = lower2; n <= points; ++n)
      rows.back().push_back(tag + std::to_string(i) + "-" + std::to_string(n));
  }
  return SafeArray::OfStrings2(lower1, lower2, rows);
}

// "first,...,last," with each number quoted or bare.
std::string Numbers(int first, int last, bool quoted = false) {
  std::string text;
  for (int i = first; i <= last; ++i) {
    text += quoted ? "'" + std::to_string(i) + "'," : std::to_string(i) + ",";
  }
  return text;
}

TEST_F(HistoryWriters, LateBoundCallsFeedEveryColumnFromItsParameter) {
  const Variant exam = Variant::String("2016/1/4");
  struct Case {
    const char* member;
    std::vector<Variant> args;
    size_t required;
    std::string all, required_only;
  };
  const std::string nulls12 = "Null,Null,Null,Null,Null,Null,Null,Null,Null,Null,Null,Null,";
  std::vector<Case> cases = {
      // Lens attributes come for both lenses in turn (15 R, 16 L, 17 R, ...);
      // the columns hold lens 1 first, then lens 2.
      {"SetG_BaseData", Positional(47, {{4, exam}}), 31,
       "( '1',2,3,'2016/01/04','5',6,7,8,'9','10','11',12,13,14,'15',17,19,'21',23,25,27,'16',"
       "18,20,'22',24,26,28,29,'30',31," +
           Numbers(32, 45) + "'46'," + kNow + ",47)",
       "( '1',2,3,'2016/01/04','5',6,7,8,'9','10','11',12,13,14,'15',17,19,'21',23,25,27,'16',"
       "18,20,'22',24,26,28,29,'30',31," +
           nulls12 + "Null,Null,Null," + kNow + ",Null)"},
      {"SetG_DTLData", Positional(31), 30, "( '1',2,3,4,'5'," + Numbers(6, 30) + kNow + ",31)",
       "( '1',2,3,4,'5'," + Numbers(6, 30) + kNow + ",Null)"},
      {"SetC_BaseData", Positional(41, {{4, exam}}), 25,
       "( '1',2,3,'2016/01/04','5',6,'7','8','9','10'," + Numbers(11, 24) + "'25'," +
           Numbers(26, 39) + "'40'," + kNow + ",41)",
       "( '1',2,3,'2016/01/04','5',6,'7','8','9','10'," + Numbers(11, 24) + "'25'," + nulls12 +
           "Null,Null,Null," + kNow + ",Null)"},
      // ExamDt (5) is accepted and written nowhere.
      {"SetC_DTLData", Positional(25), 21,
       "( '1',2,3,4,'6'," + Numbers(7, 23) + "'24'," + kNow + ",25)",
       "( '1',2,3,4,'6'," + Numbers(7, 21) + "Null,Null,Null," + kNow + ",Null)"},
      {"SetH_BaseData", Positional(31, {{4, exam}, {16, Variant::String("2016/1/16")}}), 19,
       "( '1',2,3,'2016/01/04','5',6,7," + Numbers(8, 15, true) + "'2016/01/16'," +
           Numbers(17, 31, true) + kNow + ")",
       "( '1',2,3,'2016/01/04','5',6,7," + Numbers(8, 15, true) + "'2016/01/16'," +
           Numbers(17, 19, true) + nulls12 + kNow + ")"},
      {"SetUriageData",
       Positional(26, {{3, Variant::Long(3)},
                       {4, Variant::Long(4)},
                       {5, Variant::Long(-5)},
                       {7, Variant::String("2016/1/7")},
                       {24, Variant::String("2")},
                       {26, Variant::Long(26)}}),
       5,
       "( '1',2,3,4,-5,'6','2016/01/07','8','9','10',11,'12','13','14'," + Numbers(15, 23) +
           "2,25," + kNow + ",26)",
       "( '1',2,3,4,-5," + nulls12 + "Null,Null,Null,Null,Null,Null,Null,Null," + kNow + ",0)"},
  };
  for (Case& c : cases) {
    ASSERT_EQ(Call(c.member, c.args), Variant::Long(0)) << c.member;
    EXPECT_EQ(ValuesText(), c.all) << c.member;
    std::vector<Variant> required(c.args.begin(), c.args.begin() + c.required);
    ASSERT_EQ(Call(c.member, required), Variant::Long(0)) << c.member;
    EXPECT_EQ(ValuesText(), c.required_only) << c.member;
    std::vector<Variant> too_few(c.args.begin(), c.args.begin() + c.required - 1);
    EXPECT_THROW(Call(c.member, too_few), Error) << c.member << ": a required argument omitted";
  }

  // The hearing detail renders the caller's arrays in place, through the binding too.
  std::vector<Variant> detail = Positional(20);
  detail[6] = Variant::Array(Measurements("k"));
  detail[7] = Variant::Array(Measurements("d"));
  detail[19] = Variant::Missing();
  ASSERT_EQ(Call("SetH_DTLData", detail), Variant::Long(0));
  std::string measurements;  // KIDOR, KIDOL, KODOR, KODOL: side by side, points 1 to 11
  for (const char* tag : {"'k1-", "'k2-", "'d1-", "'d2-"})
    for (int n = 1; n <= 11; ++n) measurements += tag + std::to_string(n) + "',";
  EXPECT_EQ(ValuesText(),
            "( '1',2,3,4,'6'," + measurements + Numbers(9, 19, true) + "Null," + kNow + ")");
  EXPECT_EQ(detail[6].ToArray()->At(2, 5).ToString(), "'k2-5'");
  EXPECT_EQ(detail[7].ToArray()->At(1, 11).ToString(), "'d1-11'");
}

// The full value sets of tests/integration cover the usual forms; these are
// the edges.
TEST_F(HistoryWriters, ValuesTakeTheFormOfTheirColumn) {
  auto glasses = Entry<GlassesHeaderParams>("1203", " 3 ");
  glasses.StoreCd = " 0'1";
  glasses.ExamDt = "20160704";  // no separators: not a date
  glasses.PurDistance = "x";
  glasses.IntCd = "A12";
  glasses.Spec1 = "   ";
  glasses.Yobi3 = "a'b";
  ASSERT_EQ(batch_->SetG_BaseData(glasses), 0);
  const std::map<std::string, std::string> expected = {
      {"GLS_STORE_NO", "' 0''1'"},  {"GLS_HISTORY_NO", " 3 "}, {"GLS_EXAM_DT", "Null"},
      {"GLS_PUR_DISTANCE", "Null"}, {"GLS_INT_CD", "Null"},    {"GLS_SPEC_1", "Null"},
      {"GLS_YOBI3", "'a''b'"}};
  for (const auto& [column, literal] : expected) EXPECT_EQ(Value(column), literal) << column;

  auto hearing = Entry<HearingHeaderParams>();
  hearing.SerialNoR = "  ";
  hearing.SerialNoL = " SN'2 ";
  ASSERT_EQ(batch_->SetH_BaseData(hearing), 0);
  EXPECT_EQ(Value("HOC_SERIAL_NO_R"), "Null");
  EXPECT_EQ(Value("HOC_SERIAL_NO_L"), "'SN''2'");

  // ExamDt of the two details changes nothing.
  auto contact = Entry<ContactDetailParams>();
  contact.ExamDt = "2016/7/4";
  ASSERT_EQ(batch_->SetC_DTLData(contact), 0);
  const std::string with_date = Last();
  contact.ExamDt = "not a date";
  ASSERT_EQ(batch_->SetC_DTLData(contact), 0);
  EXPECT_EQ(Last(), with_date);
}

TEST_F(HistoryWriters, SalesLineForms) {
  using P = SalesLineParams;
  auto value = [&](const char* column, std::string P::*member, std::string text) {
    SalesLineParams p = Sale();
    p.*member = std::move(text);
    EXPECT_EQ(batch_->SetUriageData(p), 0);
    return Value(column);
  };
  EXPECT_EQ(value("CSALE_CLASS", &P::Class, "0.5"), "1");  // halves away from zero
  EXPECT_EQ(value("CSALE_CLASS", &P::Class, "-0.5"), "-1");
  EXPECT_EQ(value("CSALE_TAX", &P::Tax, "tax"), "Null");
  EXPECT_EQ(value("CSALE_CLERK_CD", &P::ClerkCd, "A12"), "Null");
  EXPECT_EQ(value("CSALE_MAKER", &P::Maker, "   "), "Null");
  // Side code: halves to even, then 1 to 3; the text itself is written.
  for (const char* kept : {"1", "2", "3", "3.4", "2.5", " 2"})
    EXPECT_EQ(value("CSALE_RL_KBN", &P::RL_Kbn, kept), kept) << kept;
  for (const char* dropped : {"0", "4", "A", "0.5", "3.5", ""})
    EXPECT_EQ(value("CSALE_RL_KBN", &P::RL_Kbn, dropped), "Null") << dropped;
  // Reserve: empty is Null, a plain number is written bare.
  EXPECT_EQ(value("CSALE_DUMMY", &P::Dummy, ""), "Null");
  EXPECT_EQ(value("CSALE_DUMMY", &P::Dummy, "7"), "7");

  SalesLineParams negative = Sale();
  negative.Kind = -1, negative.LineNo = 2147483647, negative.TranseFlg = -7;
  ASSERT_EQ(batch_->SetUriageData(negative), 0);
  EXPECT_EQ(Value("CSALE_KIND"), "-1");
  EXPECT_EQ(Value("CSALE_LINE_NO"), "2147483647");
  EXPECT_EQ(Value("CSALE_TRANSE_FLG"), "-7");
}

TEST_F(HistoryWriters, RefusedValuesReportAndQueueNothing) {
  struct Refusal {
    const char* method;
    std::function<int32_t()> call;
  };
  auto sales = [](std::string key, std::string rl, std::string dummy) {
    SalesLineParams p = Sale(std::move(key));
    p.RL_Kbn = std::move(rl);
    p.Dummy = std::move(dummy);
    return p;
  };
  KVT710C3& b = *batch_;
  const std::vector<Refusal> refusals = {
      {"SetG_BaseData", [&] { return b.SetG_BaseData(Entry<GlassesHeaderParams>("12a")); }},
      {"SetG_BaseData", [&] { return b.SetG_BaseData(Entry<GlassesHeaderParams>("1203", "")); }},
      {"SetG_DTLData", [&] { return b.SetG_DTLData(Entry<GlassesDetailParams>("1203", "1", "")); }},
      {"SetC_BaseData",
       [&] { return b.SetC_BaseData(Entry<ContactHeaderParams>("1203", "1;Delete From CBASE")); }},
      {"SetC_DTLData",
       [&] { return b.SetC_DTLData(Entry<ContactDetailParams>("1203", "1", "1 2")); }},
      {"SetH_BaseData", [&] { return b.SetH_BaseData(Entry<HearingHeaderParams>("")); }},
      {"SetUriageData", [&] { return b.SetUriageData(sales("1e3", "", "")); }},
      {"SetUriageData", [&] { return b.SetUriageData(sales("1203", "1e10", "")); }},
      {"SetUriageData", [&] { return b.SetUriageData(sales("1203", "", " ")); }},
      {"SetUriageData", [&] { return b.SetUriageData(sales("1203", "", "1 or 1=1")); }},
  };
  ASSERT_EQ(b.SetG_DTLData(Entry<GlassesDetailParams>()), 0);
  for (const Refusal& refusal : refusals) {
    std::vector<Report> reports;
    auto listening = ListenForReports([&](const Report& r) { reports.push_back(r); });
    EXPECT_EQ(refusal.call(), -1) << refusal.method;
    EXPECT_EQ(Count(), 1) << refusal.method;
    ASSERT_EQ(reports.size(), 1u) << refusal.method;
    EXPECT_EQ(reports[0].code, Variant::String("11015"));
    EXPECT_EQ(reports[0].source, std::string("KVT710C3.") + refusal.method);
  }
}

TEST_F(HistoryWriters, HearingMeasurementsAreRenderedInTheCallersArrays) {
  auto p = Entry<HearingDetailParams>();
  p.DenpyoNo = "00123";
  p.Kido = Measurements("k");
  p.Kodo = Measurements("d");
  p.Kido->At(2, 5) = Variant::String(" 35 ");
  p.Kodo->At(1, 3) = Variant::String("");
  ASSERT_EQ(batch_->SetH_DTLData(p), 0);
  EXPECT_EQ(Value("HOCD_INQ_NO"), "'00123'");
  EXPECT_EQ(Value("HOCD_KIDOL_5"), "'35'");
  EXPECT_EQ(p.Kido->At(2, 5).ToString(), "'35'");
  EXPECT_EQ(Value("HOCD_KODOR_3"), "Null");
  EXPECT_EQ(p.Kodo->At(1, 3).ToString(), "Null");
  EXPECT_EQ(Value("HOCD_KIDOR_1"), "'k1-1'");
  EXPECT_EQ(Value("HOCD_KODOL_11"), "'d2-11'");

  // Row 0 and column 0 are neither written nor touched.
  p.Kido = Measurements("k", 0, 0);
  p.Kodo = Measurements("d", 0, 0);
  ASSERT_EQ(batch_->SetH_DTLData(p), 0);
  EXPECT_EQ(Value("HOCD_KIDOR_1"), "'k1-1'");
  EXPECT_EQ(Value("HOCD_KODOL_11"), "'d2-11'");
  EXPECT_EQ(p.Kido->At(0, 1).ToString(), "k0-1");
  EXPECT_EQ(p.Kodo->At(2, 0).ToString(), "d2-0");

  // Kodo without point 11: Kido(i, n) and Kodo(i, n) are rendered in turn,
  // n inside i, so the call fails at Kodo(1, 11) with row 2 of both untouched.
  const int32_t queued = Count();
  p.Kido = Measurements("k");
  p.Kodo = Measurements("d", 1, 1, 10);
  EXPECT_EQ(batch_->SetH_DTLData(p), -1);
  EXPECT_EQ(Count(), queued);
  EXPECT_EQ(p.Kido->At(1, 11).ToString(), "'k1-11'");
  EXPECT_EQ(p.Kodo->At(1, 10).ToString(), "'d1-10'");
  EXPECT_EQ(p.Kido->At(2, 1).ToString(), "k2-1");
  EXPECT_EQ(p.Kodo->At(2, 1).ToString(), "d2-1");

  p.Kido = SafeArray::OfStrings(1, {"1", "2"});  // one dimension
  p.Kodo = Measurements("d");
  EXPECT_EQ(batch_->SetH_DTLData(p), -1);
  p.Kido = nullptr;
  EXPECT_EQ(batch_->SetH_DTLData(p), -1);
  EXPECT_EQ(Count(), queued);
}

}  // namespace
}  // namespace kvt710
