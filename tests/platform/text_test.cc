// The text core: blanks, case, UTF-8, numbers and dates, one table per rule.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>

#include "platform/text/ascii.h"
#include "platform/text/date.h"
#include "platform/text/literal.h"
#include "platform/text/number.h"
#include "platform/text/utf8.h"

namespace kvt710::text {
namespace {

TEST(TextTest, EachKindOfBlankTrimsOnlyItsOwnCharacters) {
  const struct {
    std::string_view text, value, space_and_tab, ascii_space;
  } cases[] = {{"  a b  ", "a b", "a b", "a b"},
               {"   ", "", "", ""},
               {"\ta\t", "\ta\t", "a", "a"},
               {" \t a \r\n", "\t a \r\n", "a \r\n", "a"},
               {"\u3000a\u3000", "\u3000a\u3000", "\u3000a\u3000", "\u3000a\u3000"},
               {"\n", "\n", "\n", ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(Trim(c.text), c.value) << testing::PrintToString(c.text);
    EXPECT_EQ(IsBlank(c.text), c.value.empty()) << testing::PrintToString(c.text);
    EXPECT_EQ(TrimSpaceAndTab(c.text), c.space_and_tab) << testing::PrintToString(c.text);
    EXPECT_EQ(TrimAsciiSpace(c.text), c.ascii_space) << testing::PrintToString(c.text);
  }
}

TEST(TextTest, CaseIsIgnoredForAsciiLettersOnly) {
  const struct {
    std::string_view a, b;
    bool equal;
  } cases[] = {
      {"DBERRDSP", "dberrdsp", true},
      {"User ID", "user id", true},
      {"", "", true},
      {"Add", "Ad", false},
      {"a_1", "A_1", true},
      {"\u00e9", "\u00c9", false},
      {"[", "{", false},
      {std::string_view("ax", 1), std::string_view("Ay", 1), true},  // only the view counts
      {"@", "`", false}};
  for (const auto& c : cases) EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.equal) << c.a << "|" << c.b;
  EXPECT_EQ(ToUpperAscii("Provider=sqlite;\u00e9z"), "PROVIDER=SQLITE;\u00e9Z");
}

TEST(TextTest, ValidTextIsWellFormedUtf8WithoutNul) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {{"", true},
               {"\u00e9\u3000\U0010FFFF\uFFFF\t", true},
               {std::string("a\0b", 3), false},  // NUL
               {"\xC0\xAF", false},              // overlong "/"
               {"\xE0\x80\xA7", false},          // overlong quote
               {"\xED\xA0\x80", false},          // surrogate D800
               {"\xF4\x90\x80\x80", false},      // above U+10FFFF
               {"\xE3\x81", false},              // truncated
               {"\x80", false},                  // stray continuation byte
               {"\xFF", false}};
  for (const auto& c : cases)
    EXPECT_EQ(IsValidText(c.text), c.valid) << testing::PrintToString(c.text);
}

TEST(TextTest, ShorteningNeverSplitsACharacter) {
  const struct {
    std::string_view text;
    size_t max;
    std::string_view prefix;
  } cases[] = {{"abc", 5, "abc"},    {"abc", 2, "ab"},     {"a\u3042b", 1, "a"},
               {"a\u3042b", 2, "a"}, {"a\u3042b", 3, "a"}, {"a\u3042b", 4, "a\u3042"},
               {"\u3042", 0, ""}};
  for (const auto& c : cases) EXPECT_EQ(Utf8Prefix(c.text, c.max), c.prefix) << c.text << c.max;
}

// The syntax itself is the exact decimal scanner's: here blanks, separators
// and the range of a double.
TEST(TextTest, NumericTestAcceptsDecimalNumbersWithSeparatorsAndExponent) {
  for (std::string_view yes :
       {"0", " 12 ", "  -1,000.5e2 ", "1E308", "1.7976931348623157E308", "1E-400", "0E99999"})
    EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (std::string_view no : {"", " ", "1 2", "- 1", "1-", "1D3", "$5", "\t5", "5\t", "\u30005",
                              "\uFF15", "1E309", "1.8E308", "1'2", "Inf", "NaN"})
    EXPECT_FALSE(IsNumeric(no)) << no;
}

TEST(TextTest, PlainNumbersHaveNoSeparatorsOrExponent) {
  for (std::string_view yes : {"1", " 12 ", "-3", "+3", "1.50", ".5", "5.", "0012"})
    EXPECT_TRUE(IsPlainNumber(yes)) << yes;
  for (std::string_view no : {"", " ", ".", "-", "1,234", "1E3", "1.2.3", "1 2", "\t1", "a"})
    EXPECT_FALSE(IsPlainNumber(no)) << no;
}

// Significant digits: the whole part without leading zeros, the fraction
// without trailing zeros.
TEST(TextTest, KeysHaveAtMostFifteenSignificantDigits) {
  for (std::string_view yes :
       {"999999999999999", " -999999999999999 ", "+123456789012345", "000000123456789012345",
        "12345678901234.5", "1.23456789012345000", "0.000000000000001", "0", "-0.0", "5."})
    EXPECT_TRUE(IsKeyNumber(yes)) << yes;
  for (std::string_view no :
       {"1000000000000000", "-1234567890123456", "12345678901234567890", "12345678901234.56",
        "0.1234567890123456", "", " ", "1,234", "1E3", "- 1", "12A3"})
    EXPECT_FALSE(IsKeyNumber(no)) << no;
  EXPECT_FALSE(IsKeyNumber(std::string(400, '9')));
  for (double yes : {0.0, -0.0, 1.0, -999999999999999.0}) EXPECT_TRUE(IsWholeKey(yes)) << yes;
  for (double no : {0.5, 1e15, -1e15, std::nan(""), HUGE_VAL}) EXPECT_FALSE(IsWholeKey(no)) << no;
}

TEST(TextTest, WholeNumberRoundsHalfAwayFromZeroOnTheDecimalText) {
  const std::pair<std::string_view, std::optional<std::string>> cases[] = {
      {"1980.6", "1981"},
      {"1980.5", "1981"},
      {"0.5", "1"},
      {"-0.5", "-1"},
      {"2.5", "3"},
      {"-2.5", "-3"},
      {"-0.4", "0"},
      {"0.0", "0"},
      {"2.675", "3"},
      {"0.49999999999999999999", "0"},  // not 0.5 as a double
      {"9.5", "10"},
      {"-99.9", "-100"},
      {"1,234.5", "1235"},
      {"1E3", "1000"},
      {"1.5E-1", "0"},
      {"5E-1", "1"},
      {"  12  ", "12"},
      {"007.0", "7"},
      {"-007", "-7"},
      {"0E99999", "0"},
      {"1E-99999", "0"},
      {"123456789012345678901234567890.5", "123456789012345678901234567891"},
      {"1E300", "1" + std::string(300, '0')},
      {"x", std::nullopt},
      {"1E400", std::nullopt}};
  for (const auto& [text, whole] : cases) EXPECT_EQ(WholeNumber(text), whole) << text;
  EXPECT_EQ(WholeNumber("1" + std::string(400, '0')), std::nullopt);  // beyond a double
}

TEST(TextTest, HalfEvenConversionFitsThirtyTwoBits) {
  const std::pair<std::string_view, std::optional<int32_t>> cases[] = {
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"2.5000001", 3},
      {"0.5", 0},
      {"1,234", 1234},
      {"2147483647.4", 2147483647},
      {"-2147483648", -2147483648},
      {"2147483647.5", std::nullopt},
      {"-2147483649", std::nullopt},
      {"9E99", std::nullopt},
      {"x", std::nullopt}};
  for (const auto& [text, value] : cases) EXPECT_EQ(ToLongHalfEven(text), value) << text;
}

// For short texts a double is close enough to settle every case that is not
// an exact half, so the decimal rounding must agree with the library's; and
// the value must be the library's own reading of the plain digits.
TEST(TextTest, RoundingAgreesWithDoublesOnShortTexts) {
  const std::string alphabet = "0123456789.,-+eE ";
  std::mt19937 random(42);
  int checked = 0;
  for (int round = 0; round < 50000; ++round) {
    std::string text(1 + random() % 7, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    if (!IsNumeric(text)) continue;
    std::string plain;
    AppendWithoutSeparators(plain, Trim(text));
    const double value = std::strtod(plain.c_str(), nullptr);
    EXPECT_EQ(NumericValue(text), value) << text;
    if (std::fabs(value) >= 1e15) continue;
    ++checked;
    const double away = std::round(value);
    EXPECT_EQ(WholeNumber(text), away == 0 ? "0" : std::to_string(static_cast<int64_t>(away)))
        << text;
    if (std::fabs(value) < 2e9) {
      std::fesetround(FE_TONEAREST);
      EXPECT_EQ(ToLongHalfEven(text), static_cast<int32_t>(std::nearbyint(value))) << text;
    }
  }
  EXPECT_GT(checked, 1000);
}

TEST(TextTest, NumberAndQuotedLiteralShapes) {
  for (std::string_view number : {"1", "-1", "+2.5", "0.", ".5", "1e5", "1.5E-3"})
    EXPECT_TRUE(IsNumberLiteral(number) && !IsQuotedLiteral(number)) << number;
  for (std::string_view quoted : {"'text'", "''", "'O''Hara'", "''''", "'a;b -- c'", "'ﾀﾅｶ'"})
    EXPECT_TRUE(IsQuotedLiteral(quoted) && !IsNumberLiteral(quoted)) << quoted;
  for (std::string_view neither :
       {"",   " ",  "'", "'open", "'O'Hara'", "'a' || 'b'", "1,234", "1 2", " 42",  "--1",
        "1e", "e5", ".", "-",     "1;",       "(1)",        "E'x'",  "1+1", "0x10", "'\xff'"})
    EXPECT_FALSE(IsNumberLiteral(neither) || IsQuotedLiteral(neither)) << neither;
  EXPECT_FALSE(IsQuotedLiteral(std::string_view("'a\0b'", 5)));
}

// The three readers of dates, side by side: the date test (values), stored
// dates (the date collation) and yyyymmdd (a command's cut-off). All start
// at year 1.
TEST(TextTest, DatesAreReadByEachReadersOwnForms) {
  constexpr std::optional<DateTime> kNo;
  const struct {
    std::string_view text;
    std::optional<DateTime> date, stored, yyyymmdd;
  } cases[] = {
      {"2016/7/4", DateTime{2016, 7, 4, 0, 0, 0}, DateTime{2016, 7, 4, 0, 0, 0}, kNo},
      {"2016/07/04", DateTime{2016, 7, 4, 0, 0, 0}, DateTime{2016, 7, 4, 0, 0, 0}, kNo},
      {"2016-07-04", DateTime{2016, 7, 4, 0, 0, 0}, DateTime{2016, 7, 4, 0, 0, 0}, kNo},
      {" 2016-07-04 ", DateTime{2016, 7, 4, 0, 0, 0}, kNo, kNo},
      {"2016/07/04  9:05", DateTime{2016, 7, 4, 9, 5, 0}, DateTime{2016, 7, 4, 9, 5, 0}, kNo},
      {"2016/07/04 23:59:59", DateTime{2016, 7, 4, 23, 59, 59}, DateTime{2016, 7, 4, 23, 59, 59},
       kNo},
      {"2016-07-04T23:59:59", kNo, DateTime{2016, 7, 4, 23, 59, 59}, kNo},
      {"20160704", kNo, DateTime{2016, 7, 4, 0, 0, 0}, DateTime{2016, 7, 4, 0, 0, 0}},
      {"20160704 7:05", kNo, DateTime{2016, 7, 4, 7, 5, 0}, kNo},
      {"2000/2/29", DateTime{2000, 2, 29, 0, 0, 0}, DateTime{2000, 2, 29, 0, 0, 0}, kNo},
      {"2024/2/29", DateTime{2024, 2, 29, 0, 0, 0}, DateTime{2024, 2, 29, 0, 0, 0}, kNo},
      {"0001/01/01", DateTime{1, 1, 1, 0, 0, 0}, DateTime{1, 1, 1, 0, 0, 0}, kNo},
      {"00010101", kNo, DateTime{1, 1, 1, 0, 0, 0}, DateTime{1, 1, 1, 0, 0, 0}},
      {"00000101", kNo, kNo, kNo},
      {"20141301", kNo, kNo, kNo},
      {"20150229", kNo, kNo, kNo},
      {" 20160704", kNo, kNo, kNo},
      {"201607041", kNo, kNo, kNo},
      {"2016070", kNo, kNo, kNo}};
  for (const auto& c : cases) {
    EXPECT_EQ(ReadDate(c.text), c.date) << c.text;
    EXPECT_EQ(ReadStoredDate(c.text), c.stored) << c.text;
    EXPECT_EQ(ReadYyyymmdd(c.text), c.yyyymmdd) << c.text;
  }
  for (std::string_view no : {"",
                              "2016",
                              "2016/13/01",
                              "2016/0/1",
                              "2016/1/0",
                              "2016/4/31",
                              "1900/2/29",
                              "2023/2/29",
                              "0000/1/1",
                              "2016/7-4",
                              "2016.7.4",
                              "16/7/4",
                              "02016/7/4",
                              "2016/007/4",
                              "2016/7/4x",
                              "2016/7/4 24:00",
                              "2016/7/4 1:60",
                              "2016/7/4 1:5",
                              "2016/7/4 1:05:60",
                              "2016/7/4\t1:05",
                              "4/7/2016",
                              "abcd/01/01",
                              "July 4, 2016",
                              "\u30002016/7/4"}) {
    EXPECT_EQ(ReadDate(no), std::nullopt) << no;
    EXPECT_EQ(ReadStoredDate(no), std::nullopt) << no;
  }
}

TEST(TextTest, FormatsArePaddedWithFixedSeparators) {
  const DateTime value{987, 3, 5, 7, 8, 9};
  EXPECT_EQ(FormatDate(value), "0987/03/05");
  std::string out = "'";
  AppendDateTime(out, value);
  AppendMonthDay(out, value);
  EXPECT_EQ(out, "'0987/03/05 07:08:090305");
}

}  // namespace
}  // namespace kvt710::text
