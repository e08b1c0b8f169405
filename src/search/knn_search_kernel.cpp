#include "search/knn_search_kernel.h"

#include <atomic>

namespace knn_search_kernel {

namespace {

std::atomic<bool>& WideFlag() {
  static std::atomic<bool> on{__builtin_cpu_supports(KNN_WIDE_TARGET) != 0};
  return on;
}

}  // namespace

bool WideLeafScans() {
  return WideFlag().load(std::memory_order_relaxed);
}

void SetWideLeafScans(bool on) {
  WideFlag().store(on && __builtin_cpu_supports(KNN_WIDE_TARGET) != 0, std::memory_order_relaxed);
}

}  // namespace knn_search_kernel
