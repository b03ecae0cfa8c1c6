#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "platform/automation/dispatch.h"
#include "platform/automation/registry.h"

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

class Counter : public Dispatch {
 public:
  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override {
    static const DispatchTable<Counter> table({
        {"Value", InvokeKind::kPropertyGet,
         [](Counter& c, Args&) { return Variant::Long(c.value); }},
        {"Value", InvokeKind::kPropertyPut,
         [](Counter& c, Args& a) {
           c.value = a.Long(a.size() - 1);
           return Variant();
         }},
        {"Add",
         InvokeKind::kMethod,
         [](Counter& c, Args& a) {
           c.value += a.Long(0) * a.OptLong(1, 1);
           return Variant::Long(c.value);
         },
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

TEST(DispatchTest, MembersAreFoundCaseInsensitively) {
  Counter c;
  c.Put("VALUE", Variant::String("10"));
  EXPECT_EQ(c.Get("value"), Variant::Long(10));
  EXPECT_EQ(c.Call("add", {Variant::Integer(2), Variant::Missing()}), Variant::Long(12));
  EXPECT_EQ(c.Call("ADD", {Variant::Double(2.5), Variant::String("3")}), Variant::Long(18));
  EXPECT_EQ(c.Call("Echo", {Variant::Missing(), Variant::Long(7)}), Variant::String("none7"));
  EXPECT_EQ(c.Call("Echo", {Variant::Double(1.5), Variant::Boolean(true)}),
            Variant::String("1.5True"));
}

TEST(DispatchTest, UnknownMembersAndMissingArguments) {
  Counter c;
  EXPECT_EQ(ErrorOf([&] { c.Call("Subtract", {Variant::Long(1)}); }), err::kUnknownMember);
  EXPECT_EQ(ErrorOf([&] { c.Put("Add", Variant::Long(1)); }), err::kUnknownMember);
  EXPECT_EQ(ErrorOf([&] { c.Call("Add"); }), err::kNotOptional);
  EXPECT_EQ(ErrorOf([&] { c.Call("Add", {Variant::Missing()}); }), err::kNotOptional);
  EXPECT_EQ(ErrorOf([&] { c.Call("Add", {Variant::String("x")}); }), err::kTypeMismatch);
  // More arguments than parameters: refused before anything runs.
  const int32_t before = c.value;
  EXPECT_EQ(ErrorOf([&] {
              c.Call("Add", {Variant::Long(1), Variant::Long(1), Variant::Long(1)});
            }),
            err::kWrongArgCount);
  std::vector<Variant> indexed = {Variant::Long(1), Variant::Long(2)};
  EXPECT_EQ(ErrorOf([&] { c.Invoke("Value", InvokeKind::kPropertyPut, indexed); }),
            err::kWrongArgCount);
  EXPECT_EQ(ErrorOf([&] { c.Invoke("Value", InvokeKind::kPropertyGet, indexed); }),
            err::kWrongArgCount);
  EXPECT_EQ(c.value, before);
  try {
    c.Call("Echo", {Variant::String("a")});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.description(), "Echo: required parameter Text is missing");
  }
}

TEST(DispatchTest, GuardInvokeTurnsExceptionsIntoErrors) {
  EXPECT_EQ(ErrorOf([] { GuardInvoke([]() -> Variant { throw Error(3704, "closed"); }); }), 3704);
  EXPECT_EQ(ErrorOf([] { GuardInvoke([]() -> Variant { throw std::bad_alloc(); }); }),
            err::kOutOfMemory);
  EXPECT_EQ(ErrorOf([] { GuardInvoke([]() -> Variant { throw std::runtime_error("x"); }); }),
            err::kInternal);
  EXPECT_EQ(ErrorOf([] { GuardInvoke([]() -> Variant { throw 1; }); }), err::kInternal);
}

TEST(ObjectRegistryTest, FactoriesCanBeReplacedAndRestored) {
  ObjectRegistry& registry = ObjectRegistry::Default();
  auto previous = registry.Register("Test.Counter", [] { return std::make_shared<Counter>(); });
  EXPECT_FALSE(previous);
  EXPECT_NE(CreateObject("TEST.COUNTER"), nullptr);

  auto counter = registry.Register("test.counter", [] { return std::shared_ptr<Dispatch>(); });
  ASSERT_TRUE(counter);
  EXPECT_EQ(ErrorOf([] { CreateObject("Test.Counter"); }), err::kCannotCreate);
  registry.Register("Test.Counter", []() -> std::shared_ptr<Dispatch> {
    throw Error(err::kTypeMismatch, "bad setup");
  });
  try {
    CreateObject("Test.Counter");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kCannotCreate);
    EXPECT_EQ(e.description(), "bad setup");
  }
  registry.Register("Test.Counter",
                    []() -> std::shared_ptr<Dispatch> { throw std::runtime_error("boom"); });
  EXPECT_EQ(ErrorOf([] { CreateObject("Test.Counter"); }), err::kCannotCreate);

  registry.Register("Test.Counter", counter);
  EXPECT_NE(CreateObject("Test.Counter"), nullptr);
  registry.Register("Test.Counter", nullptr);
  EXPECT_EQ(ErrorOf([] { CreateObject("Test.Counter"); }), err::kCannotCreate);
  EXPECT_EQ(ErrorOf([] { CreateObject("No.Such"); }), err::kCannotCreate);
  EXPECT_NE(CreateObject("prw520.prw520c1"), nullptr);
  EXPECT_NE(CreateObject("PRW520.PRW520C2"), nullptr);
  EXPECT_NE(CreateObject("adodb.connection"), nullptr);
}

}  // namespace
}  // namespace kvt710
