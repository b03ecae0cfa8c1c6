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
  const struct {
    const char* name;
    const RetryPolicy& policy;
    FailureKind kind;
    std::vector<int> pauses;  // in ms, before the jitter
  } cases[] = {
      {"import, conflict", kImportRetry, FailureKind::kTransient, {10, 20, 40, 80}},
      {"import, key stored since the check",
       kImportRetry,
       FailureKind::kUniqueViolation,
       {10, 20, 40, 80}},
      {"import, bad data", kImportRetry, FailureKind::kOther, {}},
      {"import, full", kImportRetry, FailureKind::kStorageFull, {}},
      {"import, read-only", kImportRetry, FailureKind::kReadOnly, {}},
      {"import, lost", kImportRetry, FailureKind::kUnavailable, {}},
      {"deletion, conflict", kDeletionRetry, FailureKind::kTransient, {20, 40, 80, 160, 320}},
      {"deletion, key stored", kDeletionRetry, FailureKind::kUniqueViolation, {}},
      {"deletion, bad data", kDeletionRetry, FailureKind::kOther, {}},
      {"deletion, lost", kDeletionRetry, FailureKind::kUnavailable, {}},
  };
  for (const auto& c : cases) {
    const std::vector<milliseconds> pauses = PausesWhileFailing(c.policy, c.kind);
    ASSERT_EQ(pauses.size(), c.pauses.size()) << c.name;
    for (size_t i = 0; i < pauses.size(); ++i) {
      EXPECT_GE(pauses[i], milliseconds(c.pauses[i])) << c.name << ", pause " << i;
      EXPECT_LT(pauses[i], milliseconds(c.pauses[i]) + std::max(c.policy.jitter, milliseconds(1)))
          << c.name << ", pause " << i;
    }
  }
}

// Two importers that met once do not wait exactly alike.
TEST(Retry, ImportPausesAreJittered) {
  bool jittered = false;
  for (int i = 0; i < 20 && !jittered; ++i)
    jittered = PausesWhileFailing(kImportRetry, FailureKind::kTransient)[0] != milliseconds(10);
  EXPECT_TRUE(jittered);
}

}  // namespace
}  // namespace kvt710::policy
