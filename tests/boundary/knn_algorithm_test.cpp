#include "boundary/knn_algorithm.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "boundary/knn_warning.h"
#include "support/boundary_data_source.h"
#include "support/boundary_settings_doc.h"

// The algorithm's bookkeeping around a build (faults of the data pass: tests/reliability).
namespace {

using VelCommon::VelStatus;

// Records for SettingsDoc::Minimal(): id, focal, x1, x2, c1 (code), y (code).
knntest::VectorDataSource Source(int count) {
  knntest::VectorDataSource source;
  for (int i = 0; i < count; ++i) {
    source.AddRecord({i + 1.0, 0, i % 10 + 0.0, (i * 7) % 10 + 0.5, i % 3 + 0.0, i % 2 + 0.0});
  }
  return source;
}

TEST(KNNAlgorithmBuild, StartsFreshWarningsAndRebuilds) {
  KNNWarning::Instance().Clear();
  knntest::SettingsDoc doc = knntest::SettingsDoc::Minimal();
  doc.Flag("IsFeatureSelection", true).Param("NSpecifiedFeatures", 9);  // warning 200068
  std::istringstream in(doc.Param("SpecifiedK", 8).Xml());
  auto algorithm = std::make_unique<KNNAlgorithm>(in, nullptr);
  ASSERT_EQ(algorithm->GetStatus(), VelStatus(200068, true));
  auto few = Source(5);
  const VelStatus status = algorithm->Build(few);
  ASSERT_FALSE(status.IsError()) << status.GetErrorCode();
  EXPECT_EQ(algorithm->GetStatus(), status);
  // The build starts a fresh warning list: the reading's warning is gone, K was lowered.
  EXPECT_EQ(*algorithm->GetWarnings(), std::vector<VelStatus>{VelStatus(200070, true)});
  EXPECT_EQ(algorithm->GetSettings()->SpecifiedK, 4);
  // The list holds each warning once, whatever its data; another kind is another entry.
  VelStatus again(200070, true);
  again.SetDiscreteDatum(0, 4);
  KNNWarning::Instance().Add(again);
  KNNWarning::Instance().Add(VelStatus(200070, false));
  EXPECT_EQ(*algorithm->GetWarnings(),
            (std::vector<VelStatus>{VelStatus(200070, true), VelStatus(200070, false)}));

  auto more = Source(20);  // a rebuild replaces the model
  ASSERT_FALSE(algorithm->Build(more).IsError());
  EXPECT_EQ(algorithm->GetDataPreparation()->caseCount, 20);
  EXPECT_TRUE(algorithm->GetWarnings()->empty());

  // An exception from the host's source never leaves the build (bad_alloc: tests/reliability).
  auto failing = Source(12);
  failing.SetBeforeRecord([](size_t i) {
    if (i == 3) throw std::runtime_error("disk gone");
  });
  EXPECT_EQ(algorithm->Build(failing), VelStatus(3, false));
  EXPECT_FALSE(algorithm->IsBuilt());
}

}  // namespace
