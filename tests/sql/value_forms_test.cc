// How values become SQL literals, form by form (the INSERT/UPDATE builder
// is shown by the writers' whole statement texts).
#include "sql/KVT710H1.h"
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

}  // namespace
}  // namespace kvt710::sql
