#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "boundary/knn_warning.h"
#include "knn/knn.h"
#include "support/boundary_settings_doc.h"

// Allocation fault injection for this test binary: once armed with n, the (n+1)-th
// allocation through operator new fails with std::bad_alloc. Disarmed, it is plain malloc.
namespace {
long gAllocationsBeforeFailure = -1;

void* Allocate(std::size_t size) {
  if (gAllocationsBeforeFailure == 0) {
    gAllocationsBeforeFailure = -1;
    throw std::bad_alloc();
  }
  if (gAllocationsBeforeFailure > 0) --gAllocationsBeforeFailure;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}

namespace {

using knntest::SettingsDoc;
using VelCommon::VelStatus;

std::unique_ptr<IVelAlgorithm> Create(KNNFactory& factory, const SettingsDoc& doc) {
  std::istringstream in(doc.Xml());
  return std::unique_ptr<IVelAlgorithm>(factory.CreateVelAlgorithm(in));
}

SettingsDoc TooManyFeatures() {
  SettingsDoc doc = SettingsDoc::Minimal();
  doc.Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 5);
  return doc;
}

TEST(KNNFactoryCreate, StatusFollowsTheLatestCreation) {
  KNNFactory factory;
  EXPECT_TRUE(factory.GetStatus().IsOK());
  std::unique_ptr<IVelFactory> entry(GetVelFactory());
  ASSERT_NE(dynamic_cast<KNNFactory*>(entry.get()), nullptr);
  EXPECT_TRUE(entry->GetStatus().IsOK());

  std::istringstream failed(SettingsDoc::Minimal().Xml());
  failed.setstate(std::ios_base::failbit);
  EXPECT_EQ(factory.CreateVelAlgorithm(failed), nullptr);
  EXPECT_EQ(factory.GetStatus(), VelStatus(200002, false));

  SettingsDoc unknownCaseId = SettingsDoc::Minimal();
  unknownCaseId.Param("CaseIDVar", "nope");
  EXPECT_EQ(Create(factory, unknownCaseId), nullptr);
  EXPECT_EQ(factory.GetStatus(), VelStatus(200052, false));

  std::unique_ptr<IVelAlgorithm> algorithm = Create(factory, SettingsDoc::Minimal());
  ASSERT_NE(algorithm, nullptr);
  EXPECT_TRUE(factory.GetStatus().IsOK());
  EXPECT_TRUE(algorithm->GetStatus().IsOK());
  EXPECT_FALSE(algorithm->IsBuilt());

  std::istringstream notXml("<settings>");
  EXPECT_EQ(factory.CreateVelAlgorithm(notXml, nullptr), nullptr);
  EXPECT_EQ(factory.GetStatus().GetErrorCode(), VelCommon::kHostXmlNotWellFormed);
  // An algorithm handed out earlier is not affected by later creations.
  EXPECT_TRUE(algorithm->GetStatus().IsOK());
}

TEST(KNNFactoryCreate, WarningGivesAnAlgorithmAndEachCreationStartsAFreshList) {
  KNNFactory factory;
  std::unique_ptr<IVelAlgorithm> warned = Create(factory, TooManyFeatures());
  ASSERT_NE(warned, nullptr);
  const std::vector<VelStatus> expected{VelStatus(200068, true)};
  EXPECT_EQ(factory.GetStatus(), expected[0]);
  EXPECT_EQ(warned->GetStatus(), expected[0]);
  EXPECT_EQ(factory.GetWarnings(), expected);
  EXPECT_EQ(*warned->GetWarnings(), expected);

  auto clean = Create(factory, SettingsDoc::Minimal());
  EXPECT_TRUE(factory.GetWarnings().empty());
  // The list is the process's, so the earlier algorithm sees the same empty list.
  EXPECT_TRUE(warned->GetWarnings()->empty());
}

TEST(KNNFactoryCopy, CopiesCarryTheLastStatus) {
  KNNFactory factory;
  SettingsDoc bad = SettingsDoc::Minimal();
  bad.Param("SpecifiedK", 0);
  EXPECT_EQ(Create(factory, bad), nullptr);
  KNNFactory copied(factory), assigned;
  assigned = factory;
  EXPECT_EQ(copied.GetStatus(), VelStatus(200018, false));
  EXPECT_EQ(assigned.GetStatus(), VelStatus(200018, false));
  // Copies go their own way afterwards.
  EXPECT_NE(Create(copied, SettingsDoc::Minimal()), nullptr);
  EXPECT_TRUE(copied.GetStatus().IsOK());
  EXPECT_EQ(factory.GetStatus(), VelStatus(200018, false));
}

TEST(KNNFactoryFirewall, AllocationFailureAnywhereInCreationIsStatusThree) {
  // Fail the first allocation, then the second, ... until creation gets through: every
  // failure must come back as a status with no algorithm, never as an exception.
  KNNFactory factory;
  const std::string xml = TooManyFeatures().Xml();
  int outOfMemory = 0;
  bool created = false;
  for (long n = 0; n < 20000 && !created; ++n) {
    std::istringstream in(xml);
    gAllocationsBeforeFailure = n;
    IVelAlgorithm* algorithm = nullptr;
    bool threw = false;
    try {
      algorithm = factory.CreateVelAlgorithm(in);
    } catch (...) {
      threw = true;
    }
    const bool injected = gAllocationsBeforeFailure == -1;
    gAllocationsBeforeFailure = -1;
    ASSERT_FALSE(threw) << "exception escaped at allocation " << n;
    if (algorithm != nullptr) {
      EXPECT_EQ(factory.GetStatus(), VelStatus(200068, true));
      delete algorithm;
      created = !injected;
      continue;
    }
    ASSERT_TRUE(factory.GetStatus().IsError()) << "allocation " << n;
    if (factory.GetStatus().GetErrorCode() == 3) ++outOfMemory;
  }
  EXPECT_TRUE(created);
  EXPECT_GT(outOfMemory, 0);
}

}  // namespace
