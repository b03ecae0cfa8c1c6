// Which connection string the "area" setting chooses, for each reader, and
// the deletion service's HT kind.
#include "policy/area.h"

#include <gtest/gtest.h>

namespace kvt710::policy {
namespace {

TEST(Area, ChoosesTheConnectionKeyAndHtKindExactly) {
  const struct {
    const char* area;
    std::optional<std::string> batch;
    std::string deletion;
    int16_t ht_kind;
  } cases[] = {
      {"1", "DBPARMC", "DBPARMC", 2},     {"2", "DBPARMS", "DBPARMS", 1},
      {"", std::nullopt, "DBPARMS", 1},   {" 1", std::nullopt, "DBPARMS", 1},
      {"1 ", std::nullopt, "DBPARMS", 1}, {"01", std::nullopt, "DBPARMS", 1},
      {"１", std::nullopt, "DBPARMS", 1}, {"3", std::nullopt, "DBPARMS", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConnectionKeyOfArea(c.area, AreaReader::kBatchObject), c.batch) << c.area;
    EXPECT_EQ(ConnectionKeyOfArea(c.area, AreaReader::kDeletionService), c.deletion) << c.area;
    EXPECT_EQ(DeletionHtKind(c.area), c.ht_kind) << c.area;
  }
}

}  // namespace
}  // namespace kvt710::policy
