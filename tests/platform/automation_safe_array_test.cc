#include <gtest/gtest.h>

#include <limits>

#include "platform/automation/error.h"
#include "platform/automation/safe_array.h"

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

TEST(SafeArrayTest, OneDimensionKeepsItsLowerBound) {
  auto a = SafeArray::OfStrings(1, {"x", "y", "z"});
  ASSERT_EQ(a->dims(), 1);
  EXPECT_EQ(a->bounds(1).lower, 1);
  EXPECT_EQ(a->bounds(1).upper, 3);
  EXPECT_EQ(a->At(1).ToString(), "x");
  EXPECT_EQ(a->At(3).ToString(), "z");
  a->At(2) = Variant::Long(5);
  EXPECT_EQ(a->At(2), Variant::Long(5));
  EXPECT_EQ(ErrorOf([&] { a->At(0); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([&] { a->At(4); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([&] { a->At(1, 1); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([&] { a->bounds(2); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([&] { a->bounds(0); }), err::kSubscript);

  auto empty = SafeArray::OfStrings(0, {});
  EXPECT_EQ(empty->bounds(1).count(), 0);
  EXPECT_EQ(ErrorOf([&] { empty->At(0); }), err::kSubscript);
}

TEST(SafeArrayTest, TwoDimensionsHaveTheirOwnBounds) {
  auto a = SafeArray::OfStrings2(1, 0, {{"a", "b"}, {"c", "d"}, {"e", "f"}});
  ASSERT_EQ(a->dims(), 2);
  EXPECT_EQ(a->bounds(1).lower, 1);
  EXPECT_EQ(a->bounds(1).upper, 3);
  EXPECT_EQ(a->bounds(2).lower, 0);
  EXPECT_EQ(a->bounds(2).upper, 1);
  EXPECT_EQ(a->At(1, 0).ToString(), "a");
  EXPECT_EQ(a->At(2, 1).ToString(), "d");
  EXPECT_EQ(a->At(3, 0).ToString(), "e");
  EXPECT_EQ(ErrorOf([&] { a->At(0, 0); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([&] { a->At(1, 2); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([&] { a->At(4, 0); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([&] { a->At(1); }), err::kSubscript);

  SafeArray negative({{-2, 2}, {5, 6}});
  negative.At(-2, 6) = Variant::String("corner");
  EXPECT_EQ(negative.At(-2, 6).ToString(), "corner");
  EXPECT_TRUE(negative.At(2, 5).IsEmpty());
  EXPECT_EQ(ErrorOf([] { SafeArray({}); }), err::kInvalidCall);
}

TEST(SafeArrayTest, BoundsThatCountNoWholeNumberOfElementsAreRefused) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  for (SafeArray::Bounds b : {SafeArray::Bounds{5, 3}, {kMin, kMax}, {kMax, kMin}, {-1, kMax}})
    EXPECT_EQ(ErrorOf([&] { SafeArray({b}); }), err::kSubscript) << b.lower << " " << b.upper;
  EXPECT_EQ(ErrorOf([] { SafeArray({{1, 2}, {0, -2}}); }), err::kSubscript);
  EXPECT_EQ(SafeArray({{kMax, kMax}}).bounds(1).count(), 1);
  EXPECT_EQ(SafeArray({{kMin, kMin}}).bounds(1).count(), 1);
  EXPECT_EQ(ErrorOf([] { SafeArray::Bounds::Of(kMin, 0); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([] { SafeArray::Bounds::Of(kMax, 2); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([] { SafeArray::OfStrings(kMax, {"a", "b"}); }), err::kSubscript);
}

}  // namespace
}  // namespace kvt710
