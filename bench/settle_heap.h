// Benchmarks free their untimed inputs just before the timed work. That
// leaves the allocator's lists of small free blocks full, and the first large
// allocation after that merges them all: a cost of the input, which would
// otherwise land on whatever the timed code allocates first.
#pragma once

#include <cstdlib>

namespace kvt710::bench {

// Makes one large allocation, so that the merging happens here, untimed.
inline void SettleHeap() {
  void* volatile block = std::malloc(64 * 1024);
  std::free(block);
}

}  // namespace kvt710::bench
