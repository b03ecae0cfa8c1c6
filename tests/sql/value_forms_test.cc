// How values become SQL literals, form by form, that no value becomes more
// than one literal, and the INSERT/UPDATE builder over a table description.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "platform/automation/error.h"
#include "platform/automation/safe_array.h"
#include "platform/text/ascii.h"
#include "platform/text/decimal.h"
#include "platform/text/literal.h"
#include "sql/KVT710H1.h"
#include "sql/table.h"

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

TEST(ValueForms, EachFormRendersItsLiteralOrRefuses) {
  using enum Form;
  const std::string nul("a\0b", 3), long_key(1000, 'x');
  const struct {
    Form form;
    std::string_view value, literal;
  } cases[] = {
      {kText, "   ", "Null"},
      {kText, " O'Hara", "'O''Hara'"},
      {kText, "\t''", "'\t'''''"},
      {kText, "\u3000", "'\u3000'"},
      {kText, nul, kInvalid},
      {kText, "\xE3\x81", kInvalid},
      {kPlainText, "  a'b  ", "'a''b'"},
      {kPlainText, "", "Null"},
      {kQuotedUnchanged, "", "''"},
      {kQuotedUnchanged, " S'01 ", "' S''01 '"},
      {kQuotedUnchanged, nul, kInvalid},
      {kUntrimmedPhone, "   ", "Null"},
      {kUntrimmedPhone, " 03-1234'5678 ", "' 03-1234''5678 '"},
      {kUntrimmedText, "", "Null"},
      {kUntrimmedText, "   ", "'   '"},
      {kUntrimmedText, "\xE3\x81", kInvalid},
      {kNumber, "12 ", "12 "},
      {kNumber, " -1,234.5 ", " -1234.5 "},
      {kNumber, "1E3", "1E3"},
      {kNumber, "A12", "Null"},
      {kNumber, nul, kInvalid},
      {kQuotedNumber, " 123 ", "'123'"},
      {kQuotedNumber, "1,234", "'1,234'"},
      {kQuotedNumber, "A12", "Null"},
      {kWholeNumber, "1980.6", "1981"},
      {kWholeNumber, "-0.5", "-1"},
      {kWholeNumber, "1,500", "1500"},
      {kWholeNumber, " ", "Null"},
      {kNumberOrZero, "1,000", "1000"},
      {kNumberOrZero, "x", "0"},
      {kDate, " 2016-07-04 13:05 ", "'2016/07/04'"},
      {kDate, "20160704", "Null"},
      {kDate, "2016/13/01", "Null"},
      {kDate, "0001/01/01", "'0001/01/01'"},  // the earliest year a column may hold
      {kDate, "0099/12/31", "'0099/12/31'"},
      {kDate, "\xE3\x81", kInvalid},
      {kMonthDay, "1970/3/5", "0305"},
      {kMonthDay, "x", "Null"},
      {kTimestamp, "\xFF", "'2024/02/09 07:05:03'"},  // no source: the value is not read
      // Side codes: the value rounded half to even must lie in 1..3; the text is written.
      {kSideCode, "1", "1"},
      {kSideCode, "3.4", "3.4"},
      {kSideCode, "2.5", "2.5"},
      {kSideCode, "3.5", "Null"},
      {kSideCode, "0.5", "Null"},
      {kSideCode, "4", "Null"},
      {kSideCode, "A", "Null"},
      {kSideCode, "9E99", kOverflow},
      {kSideCode, "2147483648", kOverflow},
      {kKey, " -12.50 ", " -12.50 "},
      {kKey, "", kInvalid},
      {kKey, "1,234", kInvalid},
      {kKey, "1E3", kInvalid},
      {kKey, "1 OR 1=1", kInvalid},
      {kKey, "1234567890123456", kInvalid},
      {kKey, long_key, kInvalid},
      {kReserve, "", "Null"},
      {kReserve, "12", "12"},
      {kReserve, " ", kInvalid},
      {kReserve, "A", kInvalid},
      {kInteger, "-7", "-7"},
      {kInteger, "7)", kInvalid},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "form " << static_cast<int>(c.form) << " of ["
                                    << testing::PrintToString(c.value) << "]");
    EXPECT_EQ(R(c.form, c.value), c.literal);
  }
  const std::pair<std::string_view, std::string_view> quoted[] = {
      {"", ""}, {"''", "''''"}, {"O'Brien's", "O''Brien''s"}, {"\u2019\"\\`", "\u2019\"\\`"}};
  for (const auto& [text, doubled] : quoted) EXPECT_EQ(funcSqlQuote(text), doubled);
  const std::pair<Variant, std::string_view> strings[] = {
      {Variant::Null(), ""},
      {Variant::Missing(), ""},
      {Variant::String(" S "), " S "},
      {Variant::Long(-12), "-12"},
      {Variant::Double(0.1 + 0.2), "0.3"},
      {Variant::Double(1.0 / 3), "0.333333333333333"},
      {Variant::Double(123456789012345678.0), "1.23456789012346E+17"},
  };
  for (const auto& [value, text] : strings) EXPECT_EQ(funcVarToStr(value), text);
}

// True when `value` is what `literal` stands for: Null; one quoted text
// whose inner quotes are doubled; a bare number whose characters scan to it.
bool Agrees(std::string_view literal, const db::Value& value) {
  const std::string_view chars = literal.substr(value.at, value.size);
  if (value.kind == db::Value::Kind::kNull) return literal == "Null";
  if (value.kind != db::Value::Kind::kNumber) {
    const std::string text = value.quotes_doubled ? value.unquoted : std::string(chars);
    return value.quotes_doubled == (text.find('\'') != std::string::npos) &&
           literal == "'" + funcSqlQuote(text) + "'" && text::IsQuotedLiteral(literal);
  }
  const std::optional<text::Decimal> number = text::ScanDecimal(chars);
  return text::IsNumberLiteral(text::Trim(literal)) && text::Trim(literal) == chars && number &&
         value.whole == number->whole && value.digits == number->digits.size() &&
         value.is_integer == (number->whole && text::ToInt64(*number)) &&
         value.is_double == (!value.is_integer && text::ToExactDouble(*number));
}

// Random texts over the characters that matter try to make a value more
// than one literal.
TEST(ValueForms, NoValueBecomesMoreThanOneLiteral) {
  const std::string alphabet = " '+-.,0123456789eE;()\tx";
  std::mt19937 random(710);
  int numbers = 0;
  for (int round = 0; round < 10000; ++round) {
    std::string value(random() % 9, ' ');
    for (char& c : value) c = alphabet[random() % alphabet.size()];
    for (int form = 0; form <= static_cast<int>(Form::kReserve); ++form) {
      Literal literal;
      try {
        literal = RenderLiteral(static_cast<Form>(form), value, "V", kNow);
      } catch (const Error&) {
        continue;
      }
      EXPECT_TRUE(Agrees(literal.text, literal.value))
          << "form " << form << " of [" << value << "] gave [" << literal.text << "]";
      numbers += literal.value.kind == db::Value::Kind::kNumber;
    }
  }
  EXPECT_GT(numbers, 1000);  // the alphabet does produce numbers
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
  try {
    RenderRow(kTable, missing, kNow, rendered);
    ADD_FAILURE() << "an array without index 2 was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kSubscript);
  }
  P no_array{"x", "1", "c", 0, nullptr};
  EXPECT_THROW(RenderRow(kTable, no_array, kNow, rendered), Error);
  EXPECT_THROW(ColumnIndex(kTable, "zz"), Error);
}

}  // namespace
}  // namespace kvt710::sql
