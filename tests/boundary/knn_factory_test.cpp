#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>
#include <string>

#include "knn/knn.h"
#include "support/boundary_settings_doc.h"
#include "support/failing_allocator/failing_allocator.h"

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
    knntest::ArmAllocationFailure(n + 1);
    std::unique_ptr<IVelAlgorithm> algorithm(factory.CreateVelAlgorithm(in));
    const bool injected = knntest::DisarmAllocationFailure();
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
