// The automation types: Variant conversions, SafeArray bounds, member calls
// through a dispatch table and the object registry.
#include <cmath>
#include <limits>
#include <new>

#include "platform/automation/dispatch.h"
#include "platform/automation/registry.h"
#include "platform/automation/safe_array.h"
#include "platform/automation/variant.h"
#include "support/test_support.h"

namespace kvt710 {
namespace {

template <class F>
int32_t ErrorOf(F&& body) {
  return testing_support::Failure(body).number();
}

TEST(VariantTest, ToStringFormsEachType) {
  // Doubles at most 15 significant digits.
  const std::pair<double, const char*> doubles[] = {{-0.25, "-0.25"},
                                                    {0.0001, "0.0001"},
                                                    {0.00001, "1E-05"},
                                                    {1e20, "1E+20"},
                                                    {0.1 + 0.2, "0.3"},
                                                    {1.0 / 3, "0.333333333333333"},
                                                    {123456789012345680.0, "1.23456789012346E+17"},
                                                    {999999999999999.9, "1E+15"}};
  for (const auto& [value, text] : doubles) EXPECT_EQ(Variant::Double(value).ToString(), text);
  const std::pair<Variant, const char*> rows[] = {
      {Variant(), ""},
      {Variant::String(" a "), " a "},
      {Variant::Integer(-7), "-7"},
      {Variant::Boolean(true), "True"},
      {Variant::Date({2010, 1, 2}), "2010/01/02"},
      {Variant::Date({2010, 1, 2, 3, 4, 5}), "2010/01/02 03:04:05"}};
  for (const auto& [value, text] : rows) EXPECT_EQ(value.ToString(), text);
  const std::pair<Variant, int32_t> refused[] = {
      {Variant::Null(), err::kInvalidUseOfNull},
      {Variant::Missing(), err::kNotOptional},
      {Variant::Object(nullptr), err::kTypeMismatch},
      {Variant::Array(SafeArray::OfStrings(0, {"a"})), err::kTypeMismatch}};
  for (const auto& [value, error] : refused)
    EXPECT_EQ(ErrorOf([&] { value.ToString(); }), error) << error;
}

// Texts pass the numeric test before they become numbers; integers round
// half to even and overflow beyond their range.
TEST(VariantTest, NumbersFromTextsAndDoubles) {
  const std::pair<const char*, double> doubles[] = {
      {"  -1,234  ", -1234}, {"+ 7", 7}, {"1.5E+3", 1500}, {"1,000.25", 1000.25}, {"1E-400", 0}};
  for (const auto& [text, expected] : doubles)
    EXPECT_DOUBLE_EQ(Variant::String(text).ToDouble(), expected) << text;
  EXPECT_EQ(Variant().ToDouble() + Variant::Boolean(true).ToDouble(), -1);
  for (const char* bad : {"", "  ", "1a", ",1", "1,,2", "1,", "1e+", "--1", "1 2", ".", "１"})
    EXPECT_EQ(ErrorOf([&] { Variant::String(bad).ToDouble(); }), err::kTypeMismatch) << bad;
  for (const char* huge : {"1E400", "-1E400"})
    EXPECT_EQ(ErrorOf([&] { Variant::String(huge).ToDouble(); }), err::kOverflow) << huge;
  EXPECT_EQ(ErrorOf([] { Variant::Null().ToLong(); }), err::kInvalidUseOfNull);
  // -1: overflows.
  const std::pair<double, int64_t> longs[] = {{1.5, 2},
                                              {2.5, 2},
                                              {-2.5, -2},
                                              {2147483647.4, INT32_MAX},
                                              {-2147483648.0, INT32_MIN},
                                              {2147483647.5, -1},
                                              {NAN, -1}};
  for (const auto& [value, expected] : longs) {
    if (expected == -1)
      EXPECT_EQ(ErrorOf([&] { Variant::Double(value).ToLong(); }), err::kOverflow) << value;
    else
      EXPECT_EQ(Variant::Double(value).ToLong(), expected) << value;
  }
  EXPECT_EQ(Variant::String("3.5").ToInteger() + Variant::Boolean(true).ToInteger(), 3);
  EXPECT_EQ(Variant::Long(-32768).ToInteger(), -32768);
  EXPECT_EQ(ErrorOf([] { Variant::Long(32768).ToInteger(); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([] { Variant::String("40000").ToInteger(); }), err::kOverflow);
}

TEST(VariantTest, BooleansAndDates) {
  for (const auto& [text, value] : std::vector<std::pair<const char*, bool>>{
           {"tRUE", true}, {"False", false}, {"-1", true}, {"0", false}})
    EXPECT_EQ(Variant::String(text).ToBool(), value) << text;
  EXPECT_TRUE(Variant::Double(0.1).ToBool());
  EXPECT_EQ(ErrorOf([] { Variant::String("yes").ToBool(); }), err::kTypeMismatch);
  const std::pair<const char*, DateTime> dates[] = {
      {" 2010-12-31  23:59:58 ", {2010, 12, 31, 23, 59, 58}},
      {"2000/02/29 7:05", {2000, 2, 29, 7, 5, 0}},
      {"\t0100/1/1\t", {100, 1, 1}}};  // automation's first year
  for (const auto& [text, date] : dates) EXPECT_EQ(Variant::String(text).ToDate(), date) << text;
  for (const char* bad :
       {"", "2010/02/30", "1900/02/29", "2010/13/01", "10/01/01", "2010/1/2x", "2010/01/01 24:00",
        "2010/01/01 1:5", "20100101", "2010/01-01", "0099/12/31"})
    EXPECT_EQ(ErrorOf([&] { Variant::String(bad).ToDate(); }), err::kTypeMismatch) << bad;
  // Day 0 is 1899/12/30; a negative serial keeps its time as a positive fraction.
  const std::pair<DateTime, double> serials[] = {
      {{1900, 1, 1}, 2.0}, {{1899, 12, 29, 6, 0, 0}, -1.25}, {{2010, 1, 1, 12, 0, 0}, 40179.5}};
  for (const auto& [date, serial] : serials) {
    EXPECT_EQ(Variant::Date(date).ToDouble(), serial);
    EXPECT_EQ(Variant::Double(serial).ToDate(), date) << serial;
  }
  EXPECT_EQ(ErrorOf([] { Variant::Double(1e10).ToDate(); }), err::kOverflow);
}

TEST(SafeArrayTest, ElementsWithinTheirBounds) {
  auto one = SafeArray::OfStrings(1, {"x", "y", "z"});
  auto two = SafeArray::OfStrings2(1, 0, {{"a", "b"}, {"c", "d"}, {"e", "f"}});
  EXPECT_EQ(one->At(3).ToString() + two->At(2, 1).ToString() + two->At(3, 0).ToString(), "zde");
  EXPECT_EQ(two->bounds(2).upper, 1);
  SafeArray negative({{-2, 2}, {5, 6}});
  negative.At(-2, 6) = Variant::String("corner");
  EXPECT_EQ(negative.At(-2, 6).ToString(), "corner");
  EXPECT_TRUE(negative.At(2, 5).IsEmpty());
  const std::function<void()> outside[] = {
      [&] { one->At(0); },     [&] { one->At(4); },     [&] { one->At(1, 1); },
      [&] { one->bounds(2); }, [&] { one->bounds(0); }, [&] { two->At(0, 0); },
      [&] { two->At(1, 2); },  [&] { two->At(4, 0); },  [&] { two->At(1); }};
  for (const auto& body : outside) EXPECT_EQ(ErrorOf(body), err::kSubscript);
  EXPECT_EQ(ErrorOf([] { SafeArray({}); }), err::kInvalidCall);
}

TEST(SafeArrayTest, BoundsThatCountNoWholeNumberOfElementsAreRefused) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  // The element count, -1 for refused bounds.
  const std::pair<std::vector<SafeArray::Bounds>, int64_t> rows[] = {
      {{{5, 3}}, -1},          {{{kMin, kMax}}, -1}, {{{kMax, kMin}}, -1}, {{{-1, kMax}}, -1},
      {{{1, 2}, {0, -2}}, -1}, {{{kMax, kMax}}, 1},  {{{kMin, kMin}}, 1},  {{{5, 4}}, 0}};
  for (const auto& [bounds, count] : rows) {
    if (count < 0)
      EXPECT_EQ(ErrorOf([&] { SafeArray{bounds}; }), err::kSubscript) << bounds[0].lower;
    else
      EXPECT_EQ(SafeArray(bounds).bounds(1).count(), count) << bounds[0].lower;
  }
  EXPECT_EQ(ErrorOf([] { SafeArray::Bounds::Of(kMin, 0); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([] { SafeArray::Bounds::Of(kMax, 2); }), err::kSubscript);
  EXPECT_EQ(ErrorOf([] { SafeArray::OfStrings(kMax, {"a", "b"}); }), err::kSubscript);
}

class Counter : public Dispatch {
 public:
  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override {
    static const DispatchTable<Counter> table({
        {"Value", InvokeKind::kPropertyGet,
         [](Counter& c, Args&) { return Variant::Long(c.value); }},
        {"Value", InvokeKind::kPropertyPut,
         [](Counter& c, Args& a) { return c.value = a.Long(a.size() - 1), Variant(); }},
        {"Add",
         InvokeKind::kMethod,
         [](Counter& c, Args& a) { return Variant::Long(c.value += a.Long(0) * a.OptLong(1, 1)); },
         {"Amount", "Times"}},
        {"Echo",
         InvokeKind::kMethod,
         [](Counter&, Args& a) { return Variant::String(a.OptString(0, "none") + a.String(1)); },
         {"Prefix", "Text"}},
    });
    return GuardInvoke([&] { return table.Invoke(*this, member, kind, args); });
  }
  int32_t value = 0;
};

// Members are found case-insensitively; refused calls run nothing: unknown
// members, missing or surplus arguments.
TEST(DispatchTest, MembersAreFoundCaseInsensitivelyAndRefusedCallsRunNothing) {
  Counter c;
  const Variant one = Variant::Long(1);
  const std::tuple<const char*, InvokeKind, std::vector<Variant>, int32_t> rows[] = {
      {"Subtract", InvokeKind::kMethod, {one}, err::kUnknownMember},
      {"Add", InvokeKind::kPropertyPut, {one}, err::kUnknownMember},
      {"Add", InvokeKind::kMethod, {}, err::kNotOptional},
      {"Add", InvokeKind::kMethod, {Variant::Missing()}, err::kNotOptional},
      {"Add", InvokeKind::kMethod, {Variant::String("x")}, err::kTypeMismatch},
      {"Add", InvokeKind::kMethod, {one, one, one}, err::kWrongArgCount},
      {"Value", InvokeKind::kPropertyPut, {one, one}, err::kWrongArgCount},
      {"Value", InvokeKind::kPropertyGet, {one, one}, err::kWrongArgCount}};
  for (auto [member, kind, args, error] : rows)
    EXPECT_EQ(ErrorOf([&] { c.Invoke(member, kind, args); }), error) << member;
  EXPECT_EQ(c.value, 0);
  EXPECT_THROW(c.Call("Echo", {Variant::String("a")}), Error);
  c.Put("VALUE", Variant::String("10"));
  EXPECT_EQ(c.Get("value"), Variant::Long(10));
  EXPECT_EQ(c.Call("add", {Variant::Integer(2), Variant::Missing()}), Variant::Long(12));
  EXPECT_EQ(c.Call("ADD", {Variant::Double(2.5), Variant::String("3")}), Variant::Long(18));
  EXPECT_EQ(c.Call("Echo", {Variant::Missing(), Variant::Long(7)}), Variant::String("none7"));
  EXPECT_EQ(c.Call("Echo", {Variant::Double(1.5), Variant::Boolean(true)}),
            Variant::String("1.5True"));
  EXPECT_EQ(ErrorOf([] { GuardInvoke([]() -> Variant { throw Error(3704, "closed"); }); }), 3704);
  EXPECT_EQ(ErrorOf([] { GuardInvoke([]() -> Variant { throw std::bad_alloc(); }); }),
            err::kOutOfMemory);
  EXPECT_EQ(ErrorOf([] { GuardInvoke([]() -> Variant { throw 1; }); }), err::kInternal);
}

TEST(ObjectRegistryTest, FactoriesCanBeReplacedAndRestored) {
  ObjectRegistry& registry = ObjectRegistry::Default();
  EXPECT_FALSE(registry.Register("Test.Counter", [] { return std::make_shared<Counter>(); }));
  EXPECT_NE(CreateObject("TEST.COUNTER"), nullptr);
  auto counter = registry.Register("test.counter", [] { return std::shared_ptr<Dispatch>(); });
  ASSERT_TRUE(counter);
  EXPECT_EQ(ErrorOf([] { CreateObject("Test.Counter"); }), err::kCannotCreate);
  registry.Register("Test.Counter", []() -> std::shared_ptr<Dispatch> {
    throw Error(err::kTypeMismatch, "bad setup");
  });
  const Error failed = testing_support::Failure([] { CreateObject("Test.Counter"); });
  EXPECT_EQ(failed.number(), err::kCannotCreate);
  EXPECT_EQ(failed.description(), "bad setup");
  registry.Register("Test.Counter", counter);
  EXPECT_NE(CreateObject("Test.Counter"), nullptr);
  registry.Register("Test.Counter", nullptr);
  EXPECT_EQ(ErrorOf([] { CreateObject("Test.Counter"); }), err::kCannotCreate);
  for (const char* name : {"prw520.prw520c1", "PRW520.PRW520C2", "adodb.connection"})
    EXPECT_NE(CreateObject(name), nullptr) << name;
}

}  // namespace
}  // namespace kvt710
