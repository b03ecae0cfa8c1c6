// The deletion service: keys it refuses, a connection that never opened, and
// its late binding.
#include <limits>

#include "deletion/KVT710C2.h"
#include "deletion/deletion_statements.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "tests/batch/writer_fixture.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::Failure;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

TEST(DeletionService, RefusesKeysThatAreNotWholeAndFailsWithoutAConnection) {
  TempDir dir;
  TestDatabase database(Backend::kSQLite);
  database.Connect()->Execute(
      "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_DATA_FLG, CUBS_NEWBST_COMING) "
      "VALUES (1000000000000000, 0, '2009/12/31')");
  const std::string mistyped = (dir / "shpo.db").string();
  const std::vector<std::pair<std::string, std::string>> broken = {
      {"1", "Provider=SQLite;Data Source=" + mistyped}, {"1", ""}, {"2", "Provider=Nowhere"}};
  for (const auto& [area, connection_string] : broken) {
    ScopedSettings settings;
    settings.UseConnection(connection_string, area);
    auto service = KVT710C2::Create();
    EXPECT_EQ(service->DBStatus(), -1) << connection_string;
    EXPECT_EQ(service->DeleteCBase(1), emRetError);
    EXPECT_EQ(service->DeleteCBaseYMD(20100101, Variant::String("012")), -1);
    EXPECT_FALSE(service->LastFailure().empty()) << connection_string;
  }
  EXPECT_FALSE(std::filesystem::exists(mistyped));

  // Keys that are not whole numbers below 10^15 are refused, even one that a row holds.
  ScopedSettings settings;
  settings.UseConnection(database.connection_string());
  auto service = KVT710C2::Create();
  for (double key : {std::numeric_limits<double>::quiet_NaN(), 1e15, 0.5, -1e300})
    EXPECT_EQ(service->DeleteCBase(key), emRetError) << key;
  EXPECT_EQ(service->DeleteCBaseYMD(20100231), -1) << "no calendar date";
  EXPECT_EQ(database.Scalar("SELECT CUBS_DATA_FLG FROM CBASE"), "0");
  EXPECT_EQ(deletion::KeyText(-0.0), "0");
  EXPECT_EQ(deletion::KeyText(999999999999999.0), "999999999999999");
}

TEST(DeletionService, MembersThroughTheRegistry) {
  TestDatabase database(Backend::kSQLite);
  auto connection = database.Connect();
  for (int key = 1; key <= 4; ++key) {
    const char* store = key == 3 ? "''" : "'012'";
    connection->Execute(
        "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_DATA_FLG, "
        "CUBS_NEWBST_COMING) VALUES (" +
        std::to_string(key) + ", " + store + ", 0, '2009/12/31')");
  }
  ScopedSettings settings;
  settings.UseConnection(database.connection_string(), "2");
  auto service = CreateObject("KVT710.KVT710C2");
  EXPECT_EQ(service->Get("DBStatus"), Variant::Long(0));
  // Flags omitted, or given as numbers of another type.
  EXPECT_EQ(service->Call("DeleteCBase", {Variant::Long(1)}), Variant::Long(emRetDelete));
  EXPECT_EQ(
      service->Call("DeleteCBase", {Variant::String("2"), Variant::Long(5), Variant::Missing()}),
      Variant::Long(emRetDelete));
  EXPECT_EQ(database.Column("SELECT MTRN_TRANSE_FLG FROM CMENTE_T ORDER BY MTRN_UNIQUE_KEY"),
            (std::vector<std::string>{"0", "5"}));
  // The store: a Null one means the empty store, an omitted one every store.
  EXPECT_EQ(service->Call("DeleteCBaseYMD", {Variant::Long(20100101), Variant::Null()}),
            Variant::Long(1));
  EXPECT_EQ(service->Call("DeleteCBaseYMD", {Variant::Long(20100101), Variant::Missing()}),
            Variant::Long(1));
  EXPECT_EQ(database.Column("SELECT MTRN_HT_KBN FROM CMENTE_T ORDER BY MTRN_UNIQUE_KEY"),
            (std::vector<std::string>{"1", "1", "1", "1"}));
  EXPECT_EQ(Failure([&] {
              service->Call("DeleteCBase", {Variant::Long(1), Variant::Long(70000)});
            }).number(),
            err::kOverflow)
      << "a flag beyond 16 bits";
  EXPECT_THROW(service->Call("DeleteCBase"), Error) << "the key is required";
}

}  // namespace
}  // namespace kvt710
