// Which connection string the "area" setting chooses, and which failures run
// work again, how often and after what pause.
#include <gtest/gtest.h>

#include <algorithm>

#include "policy/area.h"
#include "policy/retry.h"

namespace kvt710::policy {
namespace {

using db::FailureKind;
using std::chrono::milliseconds;

TEST(Policy, AreaChoosesTheConnectionKeyAndHtKindExactly) {
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
    SCOPED_TRACE(c.area);
    EXPECT_EQ(ConnectionKeyOfArea(c.area, AreaReader::kBatchObject), c.batch);
    EXPECT_EQ(ConnectionKeyOfArea(c.area, AreaReader::kDeletionService), c.deletion);
    EXPECT_EQ(DeletionHtKind(c.area), c.ht_kind);
  }
}

// The pauses asked for while every attempt fails with `kind`.
std::vector<milliseconds> PausesWhileFailing(const RetryPolicy& policy, FailureKind kind) {
  std::vector<milliseconds> pauses;
  Retry retry(policy, [&](milliseconds pause) { pauses.push_back(pause); });
  for (int attempt = 1; retry.Again(attempt, kind); ++attempt) {
  }
  return pauses;
}

TEST(Policy, OnlyConflictsRunAgainUpToTheAttemptsWithDoublingPauses) {
  using K = FailureKind;
  const struct {
    const RetryPolicy& policy;
    std::vector<K> retried;
    std::vector<int> pauses;  // in ms, before the jitter
  } cases[] = {
      {kImportRetry, {K::kTransient, K::kUniqueViolation}, {10, 20, 40, 80}},
      {kDeletionRetry, {K::kTransient}, {20, 40, 80, 160, 320}},
  };
  for (const auto& c : cases) {
    for (K kind : {K::kOther, K::kUniqueViolation, K::kTransient, K::kStorageFull, K::kReadOnly,
                   K::kUnavailable}) {
      SCOPED_TRACE(testing::Message() << c.pauses[0] << " ms, kind " << static_cast<int>(kind));
      const bool retried = std::count(c.retried.begin(), c.retried.end(), kind) > 0;
      const std::vector<milliseconds> pauses = PausesWhileFailing(c.policy, kind);
      ASSERT_EQ(pauses.size(), retried ? c.pauses.size() : 0);
      for (size_t i = 0; i < pauses.size(); ++i) {
        EXPECT_GE(pauses[i], milliseconds(c.pauses[i])) << i;
        EXPECT_LT(pauses[i],
                  milliseconds(c.pauses[i]) + std::max(c.policy.jitter, milliseconds(1)));
      }
    }
  }
  // Two importers that met once do not wait exactly alike.
  bool jittered = false;
  for (int i = 0; i < 20 && !jittered; ++i)
    jittered = PausesWhileFailing(kImportRetry, K::kTransient)[0] != milliseconds(10);
  EXPECT_TRUE(jittered);
}

}  // namespace
}  // namespace kvt710::policy
