// Running again work that met another writer: a few attempts in all, with a
// pause before each further attempt that doubles every time, plus a little
// random jitter so that two writers that met once do not meet again at the
// same moment. Only the kinds of failure that another writer causes are
// worth another attempt; what the work itself got wrong fails again.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "platform/db/errors.h"

namespace kvt710::policy {

struct RetryPolicy {
  int attempts;                           // in all, the first one included
  std::chrono::milliseconds first_pause;  // before the second attempt, doubled for each later one
  std::chrono::milliseconds jitter;       // each pause gets a random [0, jitter) more
  std::vector<db::FailureKind> retried;   // the kinds of failure that run the work again
};

// A customer of an import: a conflict (busy, deadlock, serialization) or a
// key that another import stored after this one's existence check.
inline const RetryPolicy kImportRetry{
    5,
    std::chrono::milliseconds(10),
    std::chrono::milliseconds(10),
    {db::FailureKind::kTransient, db::FailureKind::kUniqueViolation}};

// A call of the deletion service that lost a race: a conflict, or a row
// marked by another since it was read (which the service counts as one).
inline const RetryPolicy kDeletionRetry{
    6, std::chrono::milliseconds(20), std::chrono::milliseconds(0), {db::FailureKind::kTransient}};

// The retries of one piece of work. Not shared between threads.
class Retry {
 public:
  using Pause = std::function<void(std::chrono::milliseconds)>;

  // `pause` waits for the given time; by default the thread sleeps.
  // `policy` must outlive the Retry (the named policies above live as long
  // as the process). Nothing is allocated or seeded until a pause is due, as
  // one Retry is made for every customer of an import.
  explicit Retry(const RetryPolicy& policy, Pause pause = {});

  // After attempt number `attempt` (from 1) failed with `kind`: true, once
  // the pause is over, when the work is to run again; false when `kind` is
  // not retried or that attempt was the last.
  bool Again(int attempt, db::FailureKind kind);

 private:
  const RetryPolicy& policy_;
  Pause pause_;
  std::optional<std::minstd_rand> jitter_;  // seeded at the first jittered pause
};

}  // namespace kvt710::policy
