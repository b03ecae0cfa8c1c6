#include "policy/retry.h"

#include <algorithm>
#include <random>
#include <thread>

namespace kvt710::policy {

Retry::Retry(const RetryPolicy& policy, Pause pause) : policy_(policy), pause_(std::move(pause)) {}

bool Retry::Again(int attempt, db::FailureKind kind) {
  if (attempt >= policy_.attempts ||
      std::find(policy_.retried.begin(), policy_.retried.end(), kind) == policy_.retried.end())
    return false;
  std::chrono::milliseconds pause = policy_.first_pause * (1 << (attempt - 1));
  if (policy_.jitter.count() > 0) {
    if (!jitter_) jitter_.emplace(std::random_device{}());
    pause += std::chrono::milliseconds((*jitter_)() % policy_.jitter.count());
  }
  if (pause_) {
    pause_(pause);
  } else {
    std::this_thread::sleep_for(pause);
  }
  return true;
}

}  // namespace kvt710::policy
