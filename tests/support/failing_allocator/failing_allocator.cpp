#include "support/failing_allocator/failing_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// -1: disarmed; n > 0: the n-th allocation from now fails; 0: it has failed.
std::atomic<long> gFailIn{-1};
std::atomic<long> gCounted{0};

void* Allocate(std::size_t size, bool mayThrow) {
  gCounted.fetch_add(1, std::memory_order_relaxed);
  long left = gFailIn.load(std::memory_order_relaxed);
  while (left > 0 && !gFailIn.compare_exchange_weak(left, left - 1)) {
  }
  void* memory = left == 1 ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr && mayThrow) throw std::bad_alloc();
  return memory;
}

}  // namespace

namespace knntest {

void ArmAllocationFailure(long n) {
  gFailIn = n > 0 ? n : -1;
}

bool DisarmAllocationFailure() {
  return gFailIn.exchange(-1) == 0;
}

long AllocationCount() {
  return gCounted;
}

}  // namespace knntest

// clang-format off
void* operator new(std::size_t n) { return Allocate(n, true); }
void* operator new[](std::size_t n) { return Allocate(n, true); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n, false); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n, false); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
// clang-format on
