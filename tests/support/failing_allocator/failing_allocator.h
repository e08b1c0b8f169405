// Allocation fault injection. failing_allocator.cpp replaces the global operator new, so it
// is compiled only into the test binaries that ask for it (see tests/CMakeLists.txt).
#pragma once

namespace knntest {

// The n-th allocation from now (n >= 1) fails: operator new throws std::bad_alloc, the
// nothrow forms return null. The allocations after it succeed.
void ArmAllocationFailure(long n);
// Disarms; true when the armed failure happened.
bool DisarmAllocationFailure();
// Allocations made through operator new since the program started.
long AllocationCount();

}  // namespace knntest
