// Named arguments of late-bound calls (what `kvt710 import` sends): placed by
// the writer's own parameter names, and refused naming the parameter.
#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "platform/automation/dispatch.h"
#include "platform/settings/settings.h"
#include "test_support.h"

namespace kvt710 {
namespace {

std::vector<NamedArg> Named(std::vector<std::pair<std::string, std::string>> items) {
  std::vector<NamedArg> named;
  for (auto& [name, value] : items) named.push_back({name, Variant::String(value)});
  return named;
}

// The error a call with `args` ends in, as "number: description".
std::string Refusal(Dispatch& object, const std::string& method, std::vector<NamedArg> args) {
  const Error e = testing_support::Failure([&] { CallNamed(object, method, args); });
  return std::to_string(e.number()) + ": " + e.description();
}

TEST(NamedArgs, ReachTheWritersByTheirParameterNamesOrAreRefusedNamingThem) {
  testing_support::TestDatabase database(testing_support::Backend::kSQLite);
  auto batch = KVT710C3::Create(Settings::WithValues(
      {{kCommonSection, "area", "1"}, {kCommonSection, "DBPARMC", database.connection_string()}}));
  ASSERT_EQ(batch->DBStatus(), emDbNomal);
  EXPECT_EQ(batch->ParameterNames("setsyokandata"),
            (std::vector<std::string>{"StoreCd", "UniqueKey", "Comment1", "TranseFlg"}));
  EXPECT_EQ(batch->ParameterNames("SetBaseData").size(), 53u);

  // In any order and case; the optional TranseFlg left out.
  const auto call = Named({{"comment1", "it's fine"}, {"uniquekey", "1203"}, {"StoreCd", "001"}});
  EXPECT_EQ(CallNamed(*batch, "SetSYOKANData", call).ToLong(), 0);
  ASSERT_NE(batch->Queue(), nullptr);
  const std::string insert = batch->Queue()->Item(1);
  EXPECT_NE(insert.find(" Values ( '001',1203,'it''s fine','"), std::string::npos) << insert;
  EXPECT_TRUE(insert.ends_with("',Null)")) << insert;

  const std::pair<std::vector<NamedArg>, std::string> refused[] = {
      {Named({{"StoreCd", "001"}, {"Comment1", "x"}}),
       "449: SetSYOKANData: required parameter UniqueKey is missing"},
      {Named({{"Coment1", "c"}}),
       "448: SetSYOKANData has no parameter Coment1 "
       "(its parameters: StoreCd, UniqueKey, Comment1, TranseFlg)"},
      {Named({{"StoreCd", "1"}, {"storecd", "2"}}),
       "5: Argument given twice: SetSYOKANData(StoreCd)"},
  };
  for (const auto& [args, message] : refused)
    EXPECT_EQ(Refusal(*batch, "SetSYOKANData", args), message);
  EXPECT_EQ(batch->Queue()->Count(), 1);  // nothing refused was queued
  EXPECT_NE(Refusal(*batch, "NoSuchWriter", {}), "0: no error");
}

}  // namespace
}  // namespace kvt710
