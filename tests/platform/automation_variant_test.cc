#include <gtest/gtest.h>

#include <cmath>

#include "platform/automation/error.h"
#include "platform/automation/safe_array.h"
#include "platform/automation/variant.h"

namespace kvt710 {
namespace {

int32_t ErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(VariantTest, ToStringFormsEachType) {
  EXPECT_EQ(Variant().ToString(), "");
  EXPECT_EQ(Variant::String(" a ").ToString(), " a ");
  EXPECT_EQ(Variant::Integer(-7).ToString(), "-7");
  EXPECT_EQ(Variant::Long(2147483647).ToString(), "2147483647");
  EXPECT_EQ(Variant::Boolean(true).ToString(), "True");
  EXPECT_EQ(Variant::Boolean(false).ToString(), "False");
  EXPECT_EQ(Variant::Double(1.5).ToString(), "1.5");
  EXPECT_EQ(Variant::Double(12345).ToString(), "12345");
  EXPECT_EQ(Variant::Double(-0.25).ToString(), "-0.25");
  EXPECT_EQ(Variant::Double(0.1).ToString(), "0.1");
  EXPECT_EQ(Variant::Double(0.0001).ToString(), "0.0001");
  EXPECT_EQ(Variant::Double(0.00001).ToString(), "1E-05");
  EXPECT_EQ(Variant::Double(1e20).ToString(), "1E+20");
  EXPECT_EQ(Variant::Double(-1.5e300).ToString(), "-1.5E+300");
  EXPECT_EQ(Variant::Double(123456789012345).ToString(), "123456789012345");
  EXPECT_EQ(Variant::Double(0.1 + 0.2).ToString(), "0.3");
  EXPECT_EQ(Variant::Double(1.0 / 3).ToString(), "0.333333333333333");
  EXPECT_EQ(Variant::Double(123456789012345680.0).ToString(), "1.23456789012346E+17");
  EXPECT_EQ(Variant::Double(999999999999999.9).ToString(), "1E+15");
  EXPECT_EQ(Variant::Date({2010, 1, 2}).ToString(), "2010/01/02");
  EXPECT_EQ(Variant::Date({2010, 1, 2, 3, 4, 5}).ToString(), "2010/01/02 03:04:05");

  EXPECT_EQ(ErrorOf([] { Variant::Null().ToString(); }), err::kInvalidUseOfNull);
  EXPECT_EQ(ErrorOf([] { Variant::Missing().ToString(); }), err::kNotOptional);
  EXPECT_EQ(ErrorOf([] { Variant::Object(nullptr).ToString(); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant::Array(SafeArray::OfStrings(0, {"a"})).ToString(); }),
            err::kTypeMismatch);
}

TEST(VariantTest, NumbersFromStringsPassTheNumericTest) {
  EXPECT_EQ(Variant::String("42").ToLong(), 42);
  EXPECT_EQ(Variant::String("  -1,234  ").ToLong(), -1234);
  EXPECT_EQ(Variant::String("+ 7").ToLong(), 7);
  EXPECT_EQ(Variant::String("1.5E+3").ToLong(), 1500);
  EXPECT_DOUBLE_EQ(Variant::String(".5").ToDouble(), 0.5);
  EXPECT_DOUBLE_EQ(Variant::String("5.").ToDouble(), 5.0);
  EXPECT_DOUBLE_EQ(Variant::String("1,000.25").ToDouble(), 1000.25);
  EXPECT_DOUBLE_EQ(Variant::String("2e-3").ToDouble(), 0.002);
  EXPECT_EQ(Variant::String("1E-400").ToDouble(), 0.0);
  for (const char* bad :
       {"", "  ", "abc", "1a", ",1", "1e", "1e+", "--1", "1 2", ".", "0x10", "１"}) {
    EXPECT_EQ(ErrorOf([&] { Variant::String(bad).ToDouble(); }), err::kTypeMismatch) << bad;
  }
  EXPECT_EQ(ErrorOf([] { Variant::String("1E400").ToDouble(); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Variant::String("-1E400").ToDouble(); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToLong(); }), err::kInvalidUseOfNull);
  EXPECT_EQ(Variant().ToLong(), 0);
  EXPECT_EQ(Variant::Boolean(true).ToLong(), -1);
  EXPECT_EQ(Variant::Boolean(true).ToInteger(), -1);
}

TEST(VariantTest, IntegersRoundHalfToEvenAndOverflow) {
  EXPECT_EQ(Variant::Double(0.5).ToLong(), 0);
  EXPECT_EQ(Variant::Double(1.5).ToLong(), 2);
  EXPECT_EQ(Variant::Double(2.5).ToLong(), 2);
  EXPECT_EQ(Variant::Double(-2.5).ToLong(), -2);
  EXPECT_EQ(Variant::Double(2.6).ToLong(), 3);
  EXPECT_EQ(Variant::String("3.5").ToInteger(), 4);
  EXPECT_EQ(Variant::Double(2147483647.4).ToLong(), 2147483647);
  EXPECT_EQ(Variant::Double(-2147483648.0).ToLong(), INT32_MIN);
  EXPECT_EQ(ErrorOf([] { Variant::Double(2147483647.5).ToLong(); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Variant::Double(NAN).ToLong(); }), err::kOverflow);
  EXPECT_EQ(Variant::Long(32767).ToInteger(), 32767);
  EXPECT_EQ(Variant::Long(-32768).ToInteger(), -32768);
  EXPECT_EQ(ErrorOf([] { Variant::Long(32768).ToInteger(); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Variant::String("40000").ToInteger(); }), err::kOverflow);
}

TEST(VariantTest, BooleansAndDates) {
  EXPECT_TRUE(Variant::String("tRUE").ToBool());
  EXPECT_FALSE(Variant::String("False").ToBool());
  EXPECT_TRUE(Variant::String("-1").ToBool());
  EXPECT_FALSE(Variant::String("0").ToBool());
  EXPECT_TRUE(Variant::Double(0.1).ToBool());
  EXPECT_EQ(ErrorOf([] { Variant::String("yes").ToBool(); }), err::kTypeMismatch);

  EXPECT_EQ(Variant::String("2010/1/2").ToDate(), (DateTime{2010, 1, 2}));
  EXPECT_EQ(Variant::String(" 2010-12-31  23:59:58 ").ToDate(),
            (DateTime{2010, 12, 31, 23, 59, 58}));
  EXPECT_EQ(Variant::String("2000/02/29 7:05").ToDate(), (DateTime{2000, 2, 29, 7, 5, 0}));
  EXPECT_EQ(Variant::String("\t0100/1/1\t").ToDate(),
            (DateTime{100, 1, 1}));  // automation's first year
  for (const char* bad :
       {"", "2010/02/30", "1900/02/29", "2010/13/01", "10/01/01", "2010/1/2x", "2010/01/01 24:00",
        "2010/01/01 1:5", "20100101", "2010/01-01", "0099/12/31"}) {
    EXPECT_EQ(ErrorOf([&] { Variant::String(bad).ToDate(); }), err::kTypeMismatch) << bad;
  }
  // Dates and their serial numbers: day 0 is 1899/12/30; a negative serial
  // keeps its time as a positive fraction.
  EXPECT_EQ(Variant::Date({1900, 1, 1}).ToDouble(), 2.0);
  EXPECT_EQ(Variant::Date({1899, 12, 29, 6, 0, 0}).ToDouble(), -1.25);
  EXPECT_EQ(Variant::Double(40179.5).ToDate(), (DateTime{2010, 1, 1, 12, 0, 0}));
  EXPECT_EQ(Variant::Double(-1.25).ToDate(), (DateTime{1899, 12, 29, 6, 0, 0}));
  EXPECT_EQ(ErrorOf([] { Variant::Double(1e10).ToDate(); }), err::kOverflow);
}

TEST(VariantTest, EqualityAndObjects) {
  auto array = SafeArray::OfStrings(1, {"a"});
  EXPECT_EQ(Variant::Long(1), Variant::Long(1));
  EXPECT_FALSE(Variant::Long(1) == Variant::Integer(1));
  EXPECT_FALSE(Variant::String("a") == Variant::String("A"));
  EXPECT_EQ(Variant::Array(array), Variant::Array(array));
  EXPECT_FALSE(Variant::Array(array) == Variant::Array(SafeArray::OfStrings(1, {"a"})));
  EXPECT_FALSE(Variant() == Variant::Missing());
  EXPECT_EQ(Variant().ToObject(), nullptr);
  EXPECT_EQ(Variant::Null().ToObject(), nullptr);
  EXPECT_EQ(ErrorOf([] { Variant::String("x").ToObject(); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant::String("x").ToArray(); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([] { Variant::Long(1).string_ref(); }), err::kTypeMismatch);
  EXPECT_STREQ(TypeName(Variant::Type::kLong), "Long");
  EXPECT_STREQ(TypeName(Variant::Type::kArray), "Variant()");
}

}  // namespace
}  // namespace kvt710
