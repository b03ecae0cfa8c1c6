// Which failures run work again, how often, and how long it waits first.
#include "policy/retry.h"

#include <gtest/gtest.h>

namespace kvt710::policy {
namespace {

using db::FailureKind;
using std::chrono::milliseconds;

// The pauses asked for while every attempt fails with `kind`.
std::vector<milliseconds> PausesWhileFailing(const RetryPolicy& policy, FailureKind kind) {
  std::vector<milliseconds> pauses;
  Retry retry(policy, [&](milliseconds pause) { pauses.push_back(pause); });
  for (int attempt = 1; retry.Again(attempt, kind); ++attempt) {
  }
  return pauses;
}

TEST(Retry, OnlyConflictsRunAgainUpToTheAttemptsWithDoublingPauses) {
  using K = FailureKind;
  const struct {
    const char* name;
    const RetryPolicy& policy;
    std::vector<K> retried;
    std::vector<int> pauses;  // in ms, before the jitter
  } cases[] = {
      {"import", kImportRetry, {K::kTransient, K::kUniqueViolation}, {10, 20, 40, 80}},
      {"deletion", kDeletionRetry, {K::kTransient}, {20, 40, 80, 160, 320}},
  };
  for (const auto& c : cases) {
    for (K kind : {K::kOther, K::kUniqueViolation, K::kTransient, K::kStorageFull, K::kReadOnly,
                   K::kUnavailable}) {
      const bool retried = std::count(c.retried.begin(), c.retried.end(), kind) > 0;
      const std::vector<milliseconds> pauses = PausesWhileFailing(c.policy, kind);
      ASSERT_EQ(pauses.size(), retried ? c.pauses.size() : 0) << c.name << int(kind);
      for (size_t i = 0; i < pauses.size(); ++i) {
        EXPECT_GE(pauses[i], milliseconds(c.pauses[i])) << c.name << ", pause " << i;
        EXPECT_LT(pauses[i], milliseconds(c.pauses[i]) + std::max(c.policy.jitter, milliseconds(1)))
            << c.name << ", pause " << i;
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
