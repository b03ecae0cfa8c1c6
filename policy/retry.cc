#include "policy/retry.h"

#include <algorithm>
#include <random>
#include <thread>

namespace kvt710::policy {

Retry::Retry(RetryPolicy policy, Pause pause)
    : policy_(std::move(policy)),
      pause_(std::move(pause)),
      jitter_(policy_.jitter.count() > 0 ? std::random_device{}() : 1) {
  if (!pause_) pause_ = [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); };
}

bool Retry::Again(int attempt, db::FailureKind kind) {
  if (attempt >= policy_.attempts ||
      std::find(policy_.retried.begin(), policy_.retried.end(), kind) == policy_.retried.end())
    return false;
  std::chrono::milliseconds pause = policy_.first_pause * (1 << (attempt - 1));
  if (policy_.jitter.count() > 0)
    pause += std::chrono::milliseconds(jitter_() % policy_.jitter.count());
  pause_(pause);
  return true;
}

}  // namespace kvt710::policy
