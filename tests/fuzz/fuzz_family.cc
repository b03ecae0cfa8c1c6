// libFuzzer target: the family writers of the batch object (see injection_harness.h).
#include <cstddef>
#include <cstdint>

#include "injection_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return kvt710::fuzz::CheckInput(kvt710::fuzz::Family::kFamily, data, size);
}
