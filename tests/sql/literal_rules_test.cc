// How values become SQL literals: quote doubling, each value form,
// and the guarantee that no value can become more than one literal.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/automation/error.h"
#include "platform/text/ascii.h"
#include "platform/text/decimal.h"
#include "platform/text/literal.h"
#include "sql/KVT710H1.h"

namespace kvt710::sql {
namespace {

const DateTime kNow{2024, 2, 9, 7, 5, 3};

std::string R(Form form, std::string_view value) {
  return Render(form, value, "V", kNow);
}

// The error number Render throws for `value`, or 0 when it renders.
int32_t RefusalOf(Form form, std::string_view value) {
  try {
    R(form, value);
    return 0;
  } catch (const Error& e) {
    EXPECT_EQ(e.description().rfind("V ", 0), 0u) << e.description();
    return e.number();
  }
}

// A bare number as the forms write it: a number literal with blanks around.
bool IsBareNumber(std::string_view s) {
  return text::IsNumberLiteral(text::Trim(s));
}

// True when `value` is what `literal` stands for: the word Null; a quoted
// text whose inner quotes are doubled, so that it is one literal; a bare
// number whose characters scan to the value.
bool Agrees(std::string_view literal, const db::Value& value) {
  const std::string_view chars = literal.substr(value.at, value.size);
  switch (value.kind) {
    case db::Value::Kind::kNull:
      return literal == "Null";
    case db::Value::Kind::kText:
    case db::Value::Kind::kDate: {
      const std::string text = value.quotes_doubled ? value.unquoted : std::string(chars);
      return value.quotes_doubled == (text.find('\'') != std::string::npos) &&
             literal == "'" + funcSqlQuote(text) + "'";
    }
    case db::Value::Kind::kNumber: {
      const std::optional<text::Decimal> number = text::ScanDecimal(chars);
      return IsBareNumber(literal) && text::Trim(literal) == chars && number &&
             value.whole == number->whole && value.digits == number->digits.size() &&
             value.is_integer == (number->whole && text::ToInt64(*number)) &&
             value.is_double == (!value.is_integer && text::ToExactDouble(*number));
    }
  }
  return false;
}

TEST(SqlQuoteTest, DoublesEverySingleQuoteAndNothingElse) {
  EXPECT_EQ(funcSqlQuote(""), "");
  EXPECT_EQ(funcSqlQuote("'"), "''");
  EXPECT_EQ(funcSqlQuote("O'Brien's"), "O''Brien''s");
  EXPECT_EQ(funcSqlQuote("''"), "''''");
  EXPECT_EQ(funcSqlQuote("'a'"), "''a''");
  EXPECT_EQ(funcSqlQuote("plain text"), "plain text");
  // Other quote-like characters, backslashes and double quotes stay as they are.
  EXPECT_EQ(funcSqlQuote("\u2019\"\\`"), "\u2019\"\\`");
}

TEST(ValueFormTest, EachFormRendersItsLiteral) {
  using enum Form;
  const struct {
    Form form;
    std::string_view value, literal;
  } cases[] = {
      {kText, "   ", "Null"},
      {kText, " O'Hara", "'O''Hara'"},
      {kText, "\t", "'\t'"},
      {kText, "\u3000", "'\u3000'"},
      {kPlainText, "", "Null"},
      {kPlainText, "  a'b  ", "'a''b'"},
      {kQuotedUnchanged, "", "''"},
      {kQuotedUnchanged, " S'01 ", "' S''01 '"},
      {kUntrimmedPhone, "   ", "Null"},
      {kUntrimmedPhone, " 03-1234'5678 ", "' 03-1234''5678 '"},
      {kUntrimmedText, "", "Null"},
      {kUntrimmedText, "   ", "'   '"},
      {kUntrimmedText, " K'1", "' K''1'"},
      {kNumber, "12 ", "12 "},
      {kNumber, " -1,234.5 ", " -1234.5 "},
      {kNumber, "1E3", "1E3"},
      {kNumber, "", "Null"},
      {kNumber, "A12", "Null"},
      {kQuotedNumber, " 123 ", "'123'"},
      {kQuotedNumber, "012", "'012'"},
      {kQuotedNumber, "1,234", "'1,234'"},
      {kQuotedNumber, "A12", "Null"},
      {kWholeNumber, "1980.6", "1981"},
      {kWholeNumber, "0.5", "1"},
      {kWholeNumber, "-0.5", "-1"},
      {kWholeNumber, "1,500", "1500"},
      {kWholeNumber, " ", "Null"},
      {kNumberOrZero, "1,000", "1000"},
      {kNumberOrZero, "", "0"},
      {kNumberOrZero, "x", "0"},
      {kDate, "2016/7/4", "'2016/07/04'"},
      {kDate, " 2016-07-04 13:05 ", "'2016/07/04'"},
      {kDate, "20160704", "Null"},
      {kDate, "2016/13/01", "Null"},
      {kDate, "\t2016/7/4", "Null"},
      {kDate, "0001/01/01", "'0001/01/01'"},  // the earliest year a column may hold
      {kDate, "0099/12/31", "'0099/12/31'"},
      {kMonthDay, "1970/3/5", "0305"},
      {kMonthDay, "x", "Null"},
      {kTimestamp, "ignored", "'2024/02/09 07:05:03'"},
      // Side codes: the rounded value (halves to even) must lie in 1..3, the text is written.
      {kSideCode, "1", "1"},
      {kSideCode, "3", "3"},
      {kSideCode, "3.4", "3.4"},
      {kSideCode, "2.5", "2.5"},
      {kSideCode, "3.5", "Null"},
      {kSideCode, "0.5", "Null"},
      {kSideCode, "0", "Null"},
      {kSideCode, "4", "Null"},
      {kSideCode, "A", "Null"},
      {kSideCode, "-2147483648", "Null"},
      {kKey, " -12.50 ", " -12.50 "},
      {kReserve, "", "Null"},
      {kReserve, "12", "12"},
      {kInteger, "-7", "-7"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(R(c.form, c.value), c.literal)
        << "form " << static_cast<int>(c.form) << " of [" << c.value << "]";
}

TEST(ValueFormTest, RefusedValuesThrow) {
  for (std::string_view bad :
       {"", " ", "1,234", "1E3", "12;", "1 OR 1=1", "--1", "0x1F", "1234567890123456"})
    EXPECT_EQ(RefusalOf(Form::kKey, bad), err::kInvalidCall) << bad;

  EXPECT_EQ(RefusalOf(Form::kReserve, " "), err::kInvalidCall);
  EXPECT_EQ(RefusalOf(Form::kReserve, "A"), err::kInvalidCall);

  EXPECT_EQ(RefusalOf(Form::kSideCode, "9E99"), err::kOverflow);
  EXPECT_EQ(RefusalOf(Form::kSideCode, "2147483648"), err::kOverflow);
  EXPECT_EQ(RefusalOf(Form::kInteger, "7)"), err::kInvalidCall);

  // A long value is not echoed into the message.
  try {
    R(Form::kKey, std::string(1000, 'x'));
    FAIL() << "a long key was accepted";
  } catch (const Error& e) {
    EXPECT_LT(e.description().size(), 100u);
  }
}

TEST(ValueFormTest, TextThatIsNotUtf8OrHoldsNulIsRefused) {
  for (const std::string& text : {std::string("a\0b", 3), std::string("\xE3\x81")}) {
    for (Form form : {Form::kText, Form::kQuotedUnchanged, Form::kNumber, Form::kDate,
                      Form::kUntrimmedText, Form::kKey, Form::kReserve})
      EXPECT_EQ(RefusalOf(form, text), err::kInvalidCall) << testing::PrintToString(text);
  }
  EXPECT_EQ(R(Form::kTimestamp, std::string("\xFF")), "'2024/02/09 07:05:03'");
}

// Every accepted value must end up as one literal, a quoted text, a bare
// number or Null, and come with what that literal stands for. Random texts
// over an alphabet of the characters that matter try to break that.
TEST(ValueFormTest, NoValueBecomesMoreThanOneLiteral) {
  ASSERT_TRUE(IsBareNumber(" -1.5E+3 ") && IsBareNumber("0305") && !IsBareNumber("1 2") &&
              !IsBareNumber("1E") && !IsBareNumber("-"));
  ASSERT_TRUE(text::IsQuotedLiteral("''") && text::IsQuotedLiteral("'a''b'") &&
              !text::IsQuotedLiteral("'a'b'") && !text::IsQuotedLiteral("'a''''") &&
              !text::IsQuotedLiteral("'"));
  const std::string alphabet = " '+-.,0123456789eE;()\tx";
  const Form forms[] = {Form::kKey,           Form::kQuotedUnchanged,
                        Form::kNumber,        Form::kQuotedNumber,
                        Form::kWholeNumber,   Form::kText,
                        Form::kPlainText,     Form::kDate,
                        Form::kNumberOrZero,  Form::kUntrimmedPhone,
                        Form::kUntrimmedText, Form::kMonthDay,
                        Form::kSideCode,      Form::kReserve};
  std::mt19937 random(710);
  int numbers = 0;
  for (int round = 0; round < 10000; ++round) {
    std::string value(random() % 9, ' ');
    for (char& c : value) c = alphabet[random() % alphabet.size()];
    for (Form form : forms) {
      Literal literal;
      try {
        literal = RenderLiteral(form, value, "V", kNow);
      } catch (const Error&) {
        continue;
      }
      EXPECT_TRUE(Agrees(literal.text, literal.value))
          << "form " << static_cast<int>(form) << " of [" << value << "] gave [" << literal.text
          << "] kind " << static_cast<int>(literal.value.kind);
      if (form == Form::kNumber && literal.text != "Null") {
        ++numbers;
        EXPECT_EQ(literal.value.kind, db::Value::Kind::kNumber) << value;
      }
    }
  }
  EXPECT_GT(numbers, 100);  // the alphabet does produce numbers
}

TEST(VarToStrTest, NullAndUnconvertibleValuesGiveEmptyText) {
  EXPECT_EQ(funcVarToStr(Variant::Null()), "");
  EXPECT_EQ(funcVarToStr(Variant()), "");
  EXPECT_EQ(funcVarToStr(Variant::Missing()), "");
  EXPECT_EQ(funcVarToStr(Variant::String(" S01 ")), " S01 ");
  EXPECT_EQ(funcVarToStr(Variant::Long(-12)), "-12");
}

}  // namespace
}  // namespace kvt710::sql
