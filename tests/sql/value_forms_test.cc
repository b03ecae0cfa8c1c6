// How values become SQL literals, form by form, and the INSERT/UPDATE
// builder over a table description.
#include "platform/automation/safe_array.h"
#include "sql/KVT710H1.h"
#include "sql/table.h"
#include "support/test_support.h"

namespace kvt710::sql {
namespace {

const DateTime kNow{2024, 2, 9, 7, 5, 3};
const std::string kInvalid = "#" + std::to_string(err::kInvalidCall);
const std::string kOverflow = "#" + std::to_string(err::kOverflow);

// The literal, or "#" and the error number when the value is refused.
std::string R(Form form, std::string_view value) {
  try {
    return Render(form, value, "V", kNow);
  } catch (const Error& e) {
    EXPECT_EQ(e.description().rfind("V ", 0), 0u) << e.description();  // names the parameter
    EXPECT_LT(e.description().size(), 100u);  // and does not echo a long value
    return "#" + std::to_string(e.number());
  }
}

// Each form, and what it makes of some values: its literal, or the refusal.
TEST(ValueForms, EachFormRendersItsLiteralOrRefuses) {
  using enum Form;
  const std::string nul("a\0b", 3), cut("\xE3\x81"), long_key(1000, 'x');
  const struct {
    Form form;
    std::vector<std::pair<std::string_view, std::string_view>> examples;
  } cases[] = {
      {kText, {{"   ", "Null"}, {" O'Hara", "'O''Hara'"}, {"\t''", "'\t'''''"}, {nul, kInvalid}}},
      {kText, {{"\u3000", "'\u3000'"}, {cut, kInvalid}}},
      {kPlainText, {{"  a'b  ", "'a''b'"}, {"", "Null"}}},
      {kQuotedUnchanged, {{"", "''"}, {" S'01 ", "' S''01 '"}}},
      {kUntrimmedPhone, {{"   ", "Null"}, {" 03-1234'5678 ", "' 03-1234''5678 '"}}},
      {kUntrimmedText, {{"", "Null"}, {"   ", "'   '"}}},
      {kNumber, {{"12 ", "12 "}, {" -1,234.5 ", " -1234.5 "}, {"1E3", "1E3"}, {"A12", "Null"}}},
      {kQuotedNumber, {{" 123 ", "'123'"}, {"1,234", "'1,234'"}, {"A12", "Null"}}},
      {kWholeNumber, {{"1980.6", "1981"}, {"-0.5", "-1"}, {"1,500", "1500"}, {" ", "Null"}}},
      {kNumberOrZero, {{"1,000", "1000"}, {"x", "0"}, {"", "0"}}},
      {kDate, {{" 2016-07-04 13:05 ", "'2016/07/04'"}, {"20160704", "Null"}}},
      {kDate, {{"0001/01/01", "'0001/01/01'"}, {"0099/12/31", "'0099/12/31'"}}},
      {kMonthDay, {{"1970/3/5", "0305"}, {"x", "Null"}, {"\t2016/7/4", "Null"}}},
      {kTimestamp, {{"\xFF", "'2024/02/09 07:05:03'"}}},  // no source: the value is not read
      // Side codes: the value rounded half to even must lie in 1..3; the text is written.
      {kSideCode, {{"1", "1"}, {"3.4", "3.4"}, {"2.5", "2.5"}, {"3.5", "Null"}, {"0.5", "Null"}}},
      {kSideCode, {{"4", "Null"}, {"A", "Null"}, {"9E99", kOverflow}, {"2147483648", kOverflow}}},
      {kKey, {{" -12.50 ", " -12.50 "}, {"1234567890123456", kInvalid}, {long_key, kInvalid}}},
      {kReserve, {{"", "Null"}, {"12", "12"}, {" ", kInvalid}, {"A", kInvalid}}},
      {kInteger, {{"-7", "-7"}, {"7)", kInvalid}}},
  };
  for (const auto& c : cases) {
    for (const auto& [value, literal] : c.examples) {
      SCOPED_TRACE(testing::Message() << "form " << static_cast<int>(c.form) << " of "
                                      << testing::PrintToString(value));
      EXPECT_EQ(R(c.form, value), literal);
    }
  }
  // Null and Missing read as empty; a Double keeps 15 significant digits.
  const std::pair<Variant, std::string_view> strings[] = {
      {Variant::Null(), ""},
      {Variant::Missing(), ""},
      {Variant::Double(1.0 / 3), "0.333333333333333"}};
  for (const auto& [value, text] : strings) EXPECT_EQ(funcVarToStr(value), text);
}

struct P {
  std::string a, b, c;
  int32_t n = 0;
  std::shared_ptr<SafeArray> flags;
};

const Table<P> kTable = [] {
  Table<P> table{"T",
                 {{"a", Form::kQuotedUnchanged, Source<P>::Text(&P::a)},
                  {"b", Form::kNumber, Source<P>::Text(&P::b)},
                  {"c", Form::kText, Source<P>::Text(&P::c), true},
                  {"n", Form::kInteger, Source<P>::Number(&P::n)}}};
  AddElementColumns(table.columns, "F", "_X", 2, Form::kPlainText, &P::flags);
  table.columns.push_back({"u", Form::kTimestamp, Source<P>::None()});
  return table;
}();

TEST(StatementBuilder, InsertAndUpdateText) {
  P params{"x", "1", "", -5, SafeArray::OfStrings(1, {"1", " "})};
  Row rendered;
  RenderRow(kTable, params, kNow, rendered);
  const std::vector<Value>& row = rendered.values;
  EXPECT_EQ(BuildInsert(kTable.name, row),
            "Insert Into T(a,b,c,n,F1_X,F2_X,u) Values ( 'x',1,Null,-5,'1',Null,"
            "'2024/02/09 07:05:03')");
  // Column c renders Null and is left out of the UPDATE; the rest keep table order.
  EXPECT_EQ(BuildUpdate(kTable.name, row, {row[ColumnIndex(kTable, "b")], row[0]}),
            "Update T Set a='x',b=1,n=-5,F1_X='1',F2_X=Null,u='2024/02/09 07:05:03'"
            " Where b=1 And a='x'");
  const db::Statement update = BuildUpdate(kTable.name, row, {row[1]}, {3, 0, 2, 1});
  EXPECT_EQ(update, "Update T Set n=-5,a='x',b=1 Where b=1");
  std::string bound;  // each value travels with its literal: what a prepared shape binds
  for (size_t i = 0; i < update.value_count(); ++i)
    bound += "[" + std::string(update.chars(i)) + "]";
  EXPECT_EQ(bound, "[-5][x][1][1]");
  // The array elements were rendered in place, so the caller sees the literals.
  EXPECT_EQ(params.flags->At(1).ToString() + params.flags->At(2).ToString(), "'1'Null");

  P missing{"x", "1", "c", 0, SafeArray::OfStrings(0, {"a", "b"})};  // index 2 is missing
  EXPECT_EQ(testing_support::Failure([&] { RenderRow(kTable, missing, kNow, rendered); }).number(),
            err::kSubscript);
  P no_array{"x", "1", "c", 0, nullptr};
  EXPECT_THROW(RenderRow(kTable, no_array, kNow, rendered), Error);
  EXPECT_THROW(ColumnIndex(kTable, "zz"), Error);
}

}  // namespace
}  // namespace kvt710::sql
