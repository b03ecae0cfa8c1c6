// Named arguments of late-bound calls (what `kvt710 import` sends) and
// settings held in memory (how import and demo hand the batch its database).
#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "platform/automation/dispatch.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::TempDir;
using testing_support::TestDatabase;

std::vector<NamedArg> Named(std::vector<std::pair<std::string, std::string>> items) {
  std::vector<NamedArg> named;
  for (auto& [name, value] : items) named.push_back({name, Variant::String(value)});
  return named;
}

TEST(NamedArgs, ArePlacedByParameterNameAndRefusedWhenUnknownOrRepeated) {
  std::vector<std::string> parameters = {"StoreCd", "UniqueKey", "Comment1", "TranseFlg"};
  std::vector<Variant> args =
      ArrangeNamedArgs("SetSYOKANData", parameters, Named({{"comment1", "c"}, {"STORECD", "001"}}));
  ASSERT_EQ(args.size(), 3u);  // nothing is passed after the last named one
  EXPECT_EQ(args[0].ToString(), "001");
  EXPECT_TRUE(args[1].IsMissing());
  EXPECT_EQ(args[2].ToString(), "c");

  try {
    ArrangeNamedArgs("SetSYOKANData", parameters, Named({{"Coment1", "c"}}));
    FAIL() << "an unknown name was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kNamedArgumentNotFound);
    EXPECT_EQ(e.description(),
              "SetSYOKANData has no parameter Coment1 "
              "(its parameters: StoreCd, UniqueKey, Comment1, TranseFlg)");
  }
  EXPECT_THROW(
      ArrangeNamedArgs("SetSYOKANData", parameters, Named({{"StoreCd", "1"}, {"storecd", "2"}})),
      Error);
  EXPECT_TRUE(ArrangeNamedArgs("Initialize", {}, {}).empty());
}

TEST(NamedArgs, ReachTheBatchWritersWithTheirOwnParameterNames) {
  TestDatabase database(Backend::kSQLite);
  auto batch = KVT710C3::Create(Settings::WithValues(
      {{kCommonSection, "area", "1"}, {kCommonSection, "DBPARMC", database.connection_string()}}));
  ASSERT_EQ(batch->DBStatus(), emDbNomal);

  EXPECT_EQ(batch->ParameterNames("setsyokandata"),
            (std::vector<std::string>{"StoreCd", "UniqueKey", "Comment1", "TranseFlg"}));
  EXPECT_EQ(batch->ParameterNames("FamilyUpdate"),
            (std::vector<std::string>{"DaihyoKey", "KazokuKey"}));
  EXPECT_EQ(batch->ParameterNames("FamilyCnt_Update"), (std::vector<std::string>{"UniqueKey"}));
  EXPECT_EQ(batch->ParameterNames("Execute"),
            (std::vector<std::string>{"UniqueKey", "StoreCd", "MenteKBN"}));
  EXPECT_EQ(batch->ParameterNames("DelExecute"), (std::vector<std::string>{"UniqueKey"}));
  EXPECT_EQ(batch->ParameterNames("SetBaseData").size(), 53u);
  EXPECT_EQ(batch->ParameterNames("SetBaseData").back(), "TranseFlg");
  EXPECT_TRUE(batch->ParameterNames("DBStatus").empty());

  // In any order and case; the optional TranseFlg omitted.
  EXPECT_EQ(CallNamed(*batch, "SetSYOKANData",
                      Named({{"comment1", "it's fine"}, {"uniquekey", "1203"}, {"StoreCd", "001"}}))
                .ToLong(),
            0);
  ASSERT_NE(batch->Queue(), nullptr);
  EXPECT_NE(batch->Queue()->Item(1).find("'it''s fine',"), std::string::npos);
  EXPECT_NE(batch->Queue()->Item(1).find(",Null)"), std::string::npos);

  // A required parameter left out fails naming it; nothing is queued.
  try {
    CallNamed(*batch, "SetSYOKANData", Named({{"StoreCd", "001"}, {"Comment1", "x"}}));
    FAIL() << "a missing UniqueKey was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kNotOptional);
    EXPECT_EQ(e.description(), "SetSYOKANData: required parameter UniqueKey is missing");
  }
  EXPECT_EQ(batch->Queue()->Count(), 1);
  EXPECT_THROW(CallNamed(*batch, "DBStatus", Named({{"x", "1"}})), Error);
  EXPECT_THROW(CallNamed(*batch, "NoSuchWriter", {}), Error);
}

TEST(SettingsWithValues, HoldValuesInMemoryBeforeTheFile) {
  TempDir dir;
  Settings file(dir / "settings.ini");
  file.Set(kCommonSection, "area", "2");
  file.Set(kCommonSection, "DBPARMS", "from the file");

  Settings layered = Settings::WithValues(
      {{kCommonSection, "AREA", "1"}, {kCommonSection, "DBPARMC", "in memory"}}, file.file());
  EXPECT_EQ(layered.Get(kCommonSection, "area"), "1");
  EXPECT_EQ(layered.Get(kCommonSection, "dbparmc"), "in memory");
  EXPECT_EQ(layered.Get(kCommonSection, "DBPARMS"), "from the file");
  EXPECT_EQ(layered.List(kCommonSection),
            (std::vector<std::pair<std::string, std::string>>{
                {"AREA", "1"}, {"DBPARMS", "from the file"}, {"DBPARMC", "in memory"}}));
  // Writing goes to the file; the value in memory still comes first.
  layered.Set(kCommonSection, "area", "2");
  EXPECT_EQ(file.Get(kCommonSection, "area"), "2");
  EXPECT_EQ(layered.Get(kCommonSection, "area"), "1");

  Settings memory_only = Settings::WithValues({{kCommonSection, "area", "1"}});
  EXPECT_EQ(memory_only.Get(kCommonSection, "area"), "1");
  EXPECT_EQ(memory_only.Find(kCommonSection, "DBPARMC"), std::nullopt);
  EXPECT_THROW(memory_only.Set(kCommonSection, "area", "2"), Error);
}

}  // namespace
}  // namespace kvt710
