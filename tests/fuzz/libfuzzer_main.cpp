// libFuzzer's entry, built once per target with KNN_FUZZ_ENTRY naming the entry function.
#include "fuzz_entries.h"

#ifndef KNN_FUZZ_ENTRY
#error "KNN_FUZZ_ENTRY must name the entry function of the target"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return knnfuzz::KNN_FUZZ_ENTRY(data, size);
}
