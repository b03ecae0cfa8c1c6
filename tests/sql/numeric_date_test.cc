// The numeric and date tests and the exact rounding of numeric texts.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>

#include "platform/automation/variant.h"
#include "sql/KVT710H1.h"

namespace kvt710::sql {
namespace {

TEST(NumericTest, AcceptsDecimalNumbersWithSeparatorsAndExponent) {
  for (std::string_view yes : {"0",
                               "12",
                               " 12 ",
                               "+1",
                               "-1",
                               "1.5",
                               ".5",
                               "5.",
                               "-.5",
                               "1,234",
                               "12,34",
                               "1,234,567.25",
                               "1E3",
                               "1e-3",
                               "1.5E+10",
                               "  -1,000.5e2 ",
                               "007",
                               "1E308",
                               "1.7976931348623157E308",
                               "1E-400",
                               "0E99999"})
    EXPECT_TRUE(IsNumeric(yes)) << yes;
  for (std::string_view no : {"",
                              " ",
                              ".",
                              "+",
                              "-",
                              "E3",
                              "1E",
                              "1E+",
                              "1.2.3",
                              ",1",
                              "1,",
                              "1,,2",
                              "1,.5",
                              "1.5,0",
                              "1 2",
                              "- 1",
                              "1-",
                              "+-1",
                              "1D3",
                              "0x1F",
                              "$5",
                              "(5)",
                              "\t5",
                              "5\t",
                              "\u3000"
                              "5",
                              "\uFF15",
                              "1E400",
                              "1.8E308",
                              "1'2",
                              "5;",
                              "Inf",
                              "NaN"})
    EXPECT_FALSE(IsNumeric(no)) << no;
}

TEST(NumericTest, PlainNumbersHaveNoSeparatorsOrExponent) {
  for (std::string_view yes : {"1", " 12 ", "-3", "+3", "1.50", ".5", "5.", "0012"})
    EXPECT_TRUE(IsPlainNumber(yes)) << yes;
  for (std::string_view no : {"", " ", ".", "-", "1,234", "1E3", "1.2.3", "1 2", "\t1", "a"})
    EXPECT_FALSE(IsPlainNumber(no)) << no;
  EXPECT_EQ(WithoutSeparators(" -1,234,567.5 "), " -1234567.5 ");
}

// Significant digits: the whole part without leading zeros, the fraction
// without trailing zeros.
TEST(NumericTest, KeysArePlainNumbersOfAtMostFifteenSignificantDigits) {
  for (std::string_view yes :
       {"999999999999999", " -999999999999999 ", "+123456789012345", "000000123456789012345",
        "12345678901234.5", "1.23456789012345000", "0.000000000000001", "0", "-0.0", "5."})
    EXPECT_TRUE(IsKeyNumber(yes)) << yes;
  for (std::string_view no :
       {"1000000000000000", "-1234567890123456", "12345678901234567890", "12345678901234.56",
        "0.1234567890123456", "", " ", "1,234", "1E3", "- 1", "12A3"})
    EXPECT_FALSE(IsKeyNumber(no)) << no;
  EXPECT_FALSE(IsKeyNumber(std::string(400, '9')));
}

TEST(NumericTest, WholeNumberRoundsHalfAwayFromZeroOnTheDecimalText) {
  const std::pair<std::string_view, std::string_view> cases[] = {
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
      {"0E99999", "0"},
      {"1E-99999", "0"},
      {"123456789012345678901234567890.5", "123456789012345678901234567891"}};
  for (const auto& [text, whole] : cases) EXPECT_EQ(WholeNumber(text), whole) << text;
  EXPECT_EQ(WholeNumber("1E300"), "1" + std::string(300, '0'));
}

TEST(NumericTest, HalfEvenConversionFitsThirtyTwoBits) {
  EXPECT_EQ(ToLongHalfEven("2.5"), 2);
  EXPECT_EQ(ToLongHalfEven("3.5"), 4);
  EXPECT_EQ(ToLongHalfEven("-2.5"), -2);
  EXPECT_EQ(ToLongHalfEven("2.5000001"), 3);
  EXPECT_EQ(ToLongHalfEven("0.5"), 0);
  EXPECT_EQ(ToLongHalfEven("1,234"), 1234);
  EXPECT_EQ(ToLongHalfEven("2147483647.4"), 2147483647);
  EXPECT_EQ(ToLongHalfEven("-2147483648"), -2147483648);
  EXPECT_EQ(ToLongHalfEven("2147483647.5"), std::nullopt);
  EXPECT_EQ(ToLongHalfEven("-2147483649"), std::nullopt);
  EXPECT_EQ(ToLongHalfEven("9E99"), std::nullopt);
}

// For short texts a double is close enough to settle every case that is not
// an exact half, so the decimal rounding must agree with the library's.
TEST(NumericTest, RoundingAgreesWithDoublesOnShortTexts) {
  const std::string alphabet = "0123456789.,-+eE ";
  std::mt19937 random(42);
  int checked = 0;
  for (int round = 0; round < 50000; ++round) {
    std::string text(1 + random() % 7, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    if (!IsNumeric(text)) continue;
    const std::string plain = WithoutSeparators(Trim(text));
    const double value = std::strtod(plain.c_str(), nullptr);
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

TEST(DateTest, YearMonthDayWithOptionalTime) {
  EXPECT_EQ(ParseDate("2016/7/4"), (DateTime{2016, 7, 4, 0, 0, 0}));
  EXPECT_EQ(ParseDate(" 2016-07-04 "), (DateTime{2016, 7, 4, 0, 0, 0}));
  EXPECT_EQ(ParseDate("2016/07/04  9:05"), (DateTime{2016, 7, 4, 9, 5, 0}));
  EXPECT_EQ(ParseDate("2016/07/04 23:59:59"), (DateTime{2016, 7, 4, 23, 59, 59}));
  EXPECT_EQ(ParseDate("2000/2/29"), (DateTime{2000, 2, 29, 0, 0, 0}));
  EXPECT_EQ(ParseDate("2024/2/29"), (DateTime{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(ParseDate("0001/01/01"), (DateTime{1, 1, 1, 0, 0, 0}));
  for (std::string_view no : {"",
                              "20160704",
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
                              "2016/7/4T1:05",
                              "2016/7/4\t1:05",
                              "4/7/2016",
                              "July 4, 2016",
                              "\u3000"
                              "2016/7/4"})
    EXPECT_EQ(ParseDate(no), std::nullopt) << no;
}

TEST(DateTest, FormatsArePaddedWithFixedSeparators) {
  const DateTime value{987, 3, 5, 7, 8, 9};
  EXPECT_EQ(FormatDate(value), "0987/03/05");
  std::string out = "'";
  AppendDateTime(out, value);
  AppendMonthDay(out, value);
  EXPECT_EQ(out, "'0987/03/05 07:08:090305");
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
