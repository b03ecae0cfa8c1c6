#include "platform/clock.h"

#include <ctime>
#include <mutex>

namespace kvt710 {
namespace {

std::mutex clock_mutex;
std::function<DateTime()>& Override() {
  static std::function<DateTime()> clock;
  return clock;
}

}  // namespace

DateTime LocalNow() {
  {
    std::lock_guard<std::mutex> lock(clock_mutex);
    if (Override()) return Override()();
  }
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour,        local.tm_min,     local.tm_sec};
}

ScopedClock::ScopedClock(std::function<DateTime()> clock) {
  std::lock_guard<std::mutex> lock(clock_mutex);
  previous_ = std::move(Override());
  Override() = std::move(clock);
}

ScopedClock::~ScopedClock() {
  std::lock_guard<std::mutex> lock(clock_mutex);
  Override() = std::move(previous_);
}

}  // namespace kvt710
