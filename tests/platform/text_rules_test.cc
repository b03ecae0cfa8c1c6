// The text core's rules, one table each: blanks, case, UTF-8, the decimal
// scanner, the number tests and roundings, the date readers and formats.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/db/sqlite/date_collation.h"
#include "platform/text/ascii.h"
#include "platform/text/date.h"
#include "platform/text/decimal.h"
#include "platform/text/literal.h"
#include "platform/text/number.h"
#include "platform/text/utf8.h"

namespace kvt710::text {
namespace {

constexpr std::nullopt_t kNo = std::nullopt;

TEST(TextRules, BlanksCaseAndUtf8) {
  const struct {
    std::string_view text, trim, space_and_tab, ascii_space;
  } blanks[] = {
      {"  a b  ", "a b", "a b", "a b"},
      {"   ", "", "", ""},
      {" \t a \r\n", "\t a \r\n", "a \r\n", "a"},
      {"\u3000a\u3000", "\u3000a\u3000", "\u3000a\u3000", "\u3000a\u3000"},
      {"\n", "\n", "\n", ""},
  };
  for (const auto& c : blanks) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(Trim(c.text), c.trim);
    EXPECT_EQ(IsBlank(c.text), c.trim.empty());
    EXPECT_EQ(TrimSpaceAndTab(c.text), c.space_and_tab);
    EXPECT_EQ(TrimAsciiSpace(c.text), c.ascii_space);
  }
  EXPECT_TRUE(EqualsIgnoreCase("User ID", "user id"));
  for (auto [a, b] : {std::pair{"Add", "Ad"}, {"\u00e9", "\u00c9"}, {"[", "{"}, {"@", "`"}})
    EXPECT_FALSE(EqualsIgnoreCase(a, b)) << a << "|" << b;
  EXPECT_EQ(ToUpperAscii("Provider=sqlite;\u00e9z"), "PROVIDER=SQLITE;\u00e9Z");

  // Valid text is well-formed UTF-8 without NUL.
  EXPECT_TRUE(IsValidText("") && IsValidText("\u00e9\u3000\U0010FFFF\uFFFF\t"));
  const std::string_view invalid[] = {
      {"a\0b", 3},        "\xC0\xAF", "\xE0\x80\xA7", "\xED\xA0\x80",
      "\xF4\x90\x80\x80", "\xE3\x81", "\x80",         "\xFF"};
  for (std::string_view no : invalid) EXPECT_FALSE(IsValidText(no)) << testing::PrintToString(no);
  // Shortening never splits a character.
  for (auto [max, prefix] : {std::pair{1, "a"}, {3, "a"}, {4, "a\u3042"}, {9, "a\u3042b"}})
    EXPECT_EQ(Utf8Prefix("a\u3042b", max), prefix) << max;
}

// The scanned sign, digits, exponent and "whole" (written without a point or
// an exponent); then the exact 64-bit integer and whether it is a double.
std::string Show(std::string_view text, Separators separators = Separators::kNone) {
  const std::optional<Decimal> d = ScanDecimal(text, separators);
  if (!d) return "invalid";
  const std::optional<int64_t> integer = ToInt64(*d);
  return std::string(d->negative ? "-" : "+") + d->digits + "e" + std::to_string(d->exponent) +
         (d->whole ? " whole" : "") + (integer ? " =" + std::to_string(*integer) : "") +
         (ToExactDouble(*d) ? " double" : "");
}

TEST(TextRules, DecimalScannerIsExact) {
  const Separators k = Separators::kThousands;
  const struct {
    std::string_view text;
    std::string scanned;
    Separators separators = Separators::kNone;
  } cases[] = {
      {"-0", "-e0 whole =0 double"},
      {"-12.50", "-125e-1 double"},
      {"+1.5E+1", "+15e0 =15 double"},
      {"0.000120e2", "+12e-3"},  // 0.012 is no double
      {"1e99999999999", "+1e1000000000"},
      {"123456789012345678901234567890", "+12345678901234567890123456789e1 whole"},
      {"-12,34,567.250", "-123456725e-2 double", k},
      {"9007199254740992", "+9007199254740992e0 whole =9007199254740992 double"},
      {"9007199254740993", "+9007199254740993e0 whole =9007199254740993"},
      {"-9223372036854775808", "-9223372036854775808e0 whole =-9223372036854775808"},
      {"9223372036854775808", "+9223372036854775808e0 whole"},
      {"2.384185791015625e-7", "+2384185791015625e-22 double"},
  };
  for (const auto& c : cases) EXPECT_EQ(Show(c.text, c.separators), c.scanned) << c.text;
  const std::vector<std::string_view> invalid[] = {
      {"", ".", "-", "e5", "1e", "1e+", "--1", " 1", "1 ", "1,234", "0x10", "1.2.3"},
      {",1", "1,", "1,,2", "1,.5", "1.5,0", "1e1,0"},  // with thousands separators
  };
  for (std::string_view text : invalid[0]) EXPECT_EQ(Show(text), "invalid") << text;
  for (std::string_view text : invalid[1]) EXPECT_EQ(Show(text, k), "invalid") << text;
  EXPECT_TRUE(std::signbit(*ToExactDouble(*ScanDecimal("-0.0"))));
}

// Flags: n numeric (the date-free numeric test), p plain (no separators or
// exponent), k key (plain with at most 15 significant digits). Then the whole
// number (halves away from zero) and the 32-bit half-even conversion.
TEST(TextRules, NumberTestsAndRoundings) {
  const struct {
    std::string text;
    std::string_view flags;
    std::optional<std::string> whole;
    std::optional<int32_t> even;
  } cases[] = {
      {"0", "npk", "0", 0},
      {"  -1,000.5e2 ", "n", "-100050", -100050},
      {"1,234.5", "n", "1235", 1234},
      {"1E-400", "n", "0", 0},
      {"0E99999", "n", "0", 0},
      {"1.7976931348623157E308", "n", "17976931348623157" + std::string(292, '0'), kNo},
      {".5", "npk", "1", 0},
      {"1980.5", "npk", "1981", 1980},
      {"2.5000001", "npk", "3", 3},
      {"2147483647.4", "npk", "2147483647", 2147483647},
      {"2147483647.5", "npk", "2147483648", kNo},
      {"-2147483648", "npk", "-2147483648", -2147483648},
      {"-2147483649", "npk", "-2147483649", kNo},
      {"999999999999999", "npk", "999999999999999", kNo},
      {"000000123456789012345", "npk", "123456789012345", kNo},
      {"1.23456789012345000", "npk", "1", 1},
      {"0.000000000000001", "npk", "0", 0},
      {"1000000000000000", "np", "1000000000000000", kNo},
      {"12345678901234.56", "np", "12345678901235", kNo},
      {"0.1234567890123456", "np", "0", 0},
      {"0.49999999999999999999", "np", "0", 0},  // not 0.5 as a double
      {"123456789012345678901234567890.5", "np", "123456789012345678901234567891", kNo},
      {std::string(400, '9'), "p", kNo, kNo},  // beyond a double
      {"1.8E308", "", kNo, kNo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsNumeric(c.text), c.flags.find('n') != c.flags.npos);
    EXPECT_EQ(IsPlainNumber(c.text), c.flags.find('p') != c.flags.npos);
    EXPECT_EQ(IsKeyNumber(c.text), c.flags.find('k') != c.flags.npos);
    EXPECT_EQ(WholeNumber(c.text), c.whole);
    EXPECT_EQ(ToLongHalfEven(c.text), c.even);
  }
  for (std::string_view no :
       {"",    " ",       ".",      "-",   "1 2", "- 1", "1-",   "1D3", "$5",    "\t5",
        "5\t", "\u30005", "\uFF15", "1'2", "Inf", "NaN", "1,,2", "1,",  "1.2.3", "12A3"}) {
    SCOPED_TRACE(no);
    EXPECT_FALSE(IsNumeric(no) || IsPlainNumber(no) || IsKeyNumber(no));
    EXPECT_EQ(WholeNumber(no), kNo);
    EXPECT_EQ(ToLongHalfEven(no), kNo);
  }
  for (double key : {0.0, -0.0, -999999999999999.0}) EXPECT_TRUE(IsWholeKey(key)) << key;
  for (double no : {0.5, 1e15, -1e15, std::nan(""), HUGE_VAL}) EXPECT_FALSE(IsWholeKey(no)) << no;
}

TEST(TextRules, LiteralShapes) {
  for (std::string_view number : {"-1", "+2.5", "0.", ".5", "1.5E-3", "2e5"})
    EXPECT_TRUE(IsNumberLiteral(number) && !IsQuotedLiteral(number)) << number;
  for (std::string_view quoted : {"''", "'O''Hara'", "''''", "'a;b -- c'"})
    EXPECT_TRUE(IsQuotedLiteral(quoted) && !IsNumberLiteral(quoted)) << quoted;
  for (std::string_view neither : {"", "'", "'open", "'O'Hara'", "'a''''", "'a' || 'b'", "1,234",
                                   " 42", "--1", "1e", "e5", "-", "1;", "E'x'", "0x10", "'\xff'"})
    EXPECT_FALSE(IsNumberLiteral(neither) || IsQuotedLiteral(neither)) << neither;
  EXPECT_FALSE(IsQuotedLiteral(std::string_view("'a\0b'", 5)));
}

constexpr DateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return {y, mo, d, h, mi, s};
}

// The three readers side by side: the date test (values), stored dates (the
// date collation) and yyyymmdd (a command's cut-off). All start at year 1.
TEST(TextRules, DatesAreReadByEachReadersOwnForms) {
  const struct {
    std::string_view text;
    std::optional<DateTime> date, stored, yyyymmdd;
  } cases[] = {
      {"2016/7/4", D(2016, 7, 4), D(2016, 7, 4), kNo},
      {" 2016-07-04 ", D(2016, 7, 4), kNo, kNo},
      {"2016/07/04  9:05", D(2016, 7, 4, 9, 5), D(2016, 7, 4, 9, 5), kNo},
      {"2016/07/04 23:59:59", D(2016, 7, 4, 23, 59, 59), D(2016, 7, 4, 23, 59, 59), kNo},
      {"2016-07-04T23:59:59", kNo, D(2016, 7, 4, 23, 59, 59), kNo},
      {"20160704 7:05", kNo, D(2016, 7, 4, 7, 5), kNo},
      {"2000/2/29", D(2000, 2, 29), D(2000, 2, 29), kNo},
      {"0001/01/01", D(1, 1, 1), D(1, 1, 1), kNo},
      {"00010101", kNo, D(1, 1, 1), D(1, 1, 1)},
      {"20240229", kNo, D(2024, 2, 29), D(2024, 2, 29)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ReadDate(c.text), c.date);
    EXPECT_EQ(ReadStoredDate(c.text), c.stored);
    EXPECT_EQ(ReadYyyymmdd(c.text), c.yyyymmdd);
  }
  const std::vector<std::string_view> not_dates[] = {
      {"", "2016", "4/7/2016", "16/7/4", "02016/7/4", "2016/007/4", "2016/7/4x", "\u30002016/7/4"},
      {"2016/13/01", "2016/0/1", "2016/1/0", "2016/4/31", "1900/2/29", "2023/2/29", "0000/1/1"},
      {"2016/7-4", "2016.7.4", "2016/7/4\t1:05", "2016/7/4 24:00", "2016/7/4 1:60", "2016/7/4 1:5"},
      {"2016/7/4 1:05:60", "20240230", "20231301", "20150229", "00000101", "2010101", "201001011"},
      {" 20160704", "0", "-1", "99999999"},
  };
  for (const auto& group : not_dates) {
    for (std::string_view no : group) {
      SCOPED_TRACE(no);
      EXPECT_EQ(ReadDate(no), kNo);
      EXPECT_EQ(ReadStoredDate(no), kNo);
      EXPECT_EQ(ReadYyyymmdd(no), kNo);
    }
  }
  std::string out = FormatDate(D(987, 3, 5)) + "|";
  AppendDateTime(out, D(987, 3, 5, 7, 8, 9));
  AppendMonthDay(out, D(987, 3, 5));
  EXPECT_EQ(out, "0987/03/05|0987/03/05 07:08:090305");
}

// The date collation orders stored dates by value, all before other texts,
// which compare by their bytes. Equal ranks compare equal.
TEST(TextRules, DateCollationIsATotalOrderWithDatesFirst) {
  const std::pair<std::string, int> ranked[] = {
      {"19991231", 0}, {"2009/12/31", 1},       {"2009/12/31 23:59:59", 2}, {"20100101", 3},
      {"2010/1/1", 3}, {"2010-01-01 00:00", 3}, {"2010/01/01 00:00:01", 4}, {"2010/01/01 12:00", 5},
      {"2010-1-2", 6}, {"2010/1/2 0:00", 6},    {"9999/12/31", 7},          {"", 8},
      {"0", 9},        {"20101301", 10},        {"2016/13/01", 11},         {"ab", 12},
      {"abc", 13},
  };
  const auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const auto& [a, rank_a] : ranked)
    for (const auto& [b, rank_b] : ranked)
      EXPECT_EQ(sign(db::sqlite::CompareCollationDates(a, b)), sign(rank_a - rank_b))
          << a << " | " << b;
}

}  // namespace
}  // namespace kvt710::text
