#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "knn/knn.h"
#include "support/boundary_settings_doc.h"

// Allocation fault injection for this test binary: once armed with n, the (n+1)-th
// allocation through operator new fails with std::bad_alloc. Disarmed, it is plain malloc.
namespace {
long gAllocationsBeforeFailure = -1;

void* Allocate(std::size_t size, bool mayThrow) {
  const bool fail = gAllocationsBeforeFailure == 0;
  if (gAllocationsBeforeFailure >= 0) --gAllocationsBeforeFailure;  // after a failure: -1
  void* p = fail ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (p == nullptr && mayThrow) throw std::bad_alloc();
  return p;
}
}  // namespace

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

namespace {

using knntest::SettingsDoc;
using VelCommon::VelStatus;

TEST(KNNFactoryFirewall, AllocationFailureAnywhereInCreationIsStatusThree) {
  // Fail the first allocation, then the second, ... until creation gets through: every
  // failure must come back as a status with no algorithm, never as an exception.
  KNNFactory factory;
  const std::string xml =  // warns that the feature count is lowered
      SettingsDoc::Minimal().Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 5).Xml();
  int outOfMemory = 0;
  bool created = false;
  for (long n = 0; n < 20000 && !created; ++n) {
    SCOPED_TRACE(n);  // an escaping exception fails the test here
    std::istringstream in(xml);
    gAllocationsBeforeFailure = n;
    std::unique_ptr<IVelAlgorithm> algorithm(factory.CreateVelAlgorithm(in));
    const bool injected = gAllocationsBeforeFailure == -1;
    gAllocationsBeforeFailure = -1;
    if (algorithm != nullptr) {
      EXPECT_EQ(factory.GetStatus(), VelStatus(200068, true));
      created = !injected;
    } else {
      ASSERT_TRUE(factory.GetStatus().IsError());
      outOfMemory += factory.GetStatus().GetErrorCode() == 3;
    }
  }
  EXPECT_TRUE(created);
  EXPECT_GT(outOfMemory, 0);
}

}  // namespace
