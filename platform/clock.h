// The local wall clock, replaceable in tests so that statement texts with a
// timestamp can be compared whole.
#pragma once

#include <functional>

#include "platform/automation/variant.h"

namespace kvt710 {

// The current local date and time, to the second.
DateTime LocalNow();

// Replaces the clock until the returned handle is destroyed (tests only).
class ScopedClock {
 public:
  explicit ScopedClock(std::function<DateTime()> clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  std::function<DateTime()> previous_;
};

}  // namespace kvt710
