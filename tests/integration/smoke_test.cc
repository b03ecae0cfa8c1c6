#include "test_support.h"

#include "catalogue/catalogue.h"
#include "platform/db/connection.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::TestDatabase;

class SchemaTest : public ::testing::TestWithParam<Backend> {};

TEST_P(SchemaTest, FreshDatabaseHasTheTenTablesEmpty) {
  TestDatabase database(GetParam());
  for (const catalogue::TableInfo& table : catalogue::Tables())
    EXPECT_EQ(database.Scalar("Select Count(*) As CNT From " + table.name), "0") << table.name;
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaTest, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
