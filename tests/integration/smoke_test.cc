#include "test_support.h"

#include "platform/db/connection.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::TestDatabase;

class SchemaTest : public ::testing::TestWithParam<Backend> {};

TEST_P(SchemaTest, FreshDatabaseHasTheTenTablesEmpty) {
  TestDatabase database(GetParam());
  for (const char* table : {"CBASE", "CMENTE_T", "CGLASBS", "CGLASDTL", "CCNTBS", "CCNTDTL",
                            "CHOCHOBS", "CHOCHODTL", "CSALE", "CSYOKN"})
    EXPECT_EQ(database.Scalar(std::string("Select Count(*) As CNT From ") + table), "0") << table;
}

INSTANTIATE_TEST_SUITE_P(Backends, SchemaTest, ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
