// Defects found by the reliability work in the model's scoring of single records, each named
// after the defect.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "boundary/status_codes.h"
#include "support/boundary_settings_doc.h"
#include "support/reliability_fixtures.h"

namespace {

// A case identifier beyond the int range was converted to int directly when a record was
// scored: undefined behaviour (the sanitizer build stops on it). It must come out as the
// scoring tables write it, INT_MIN, which no valid identifier equals.
TEST(KNNModelScoring, Regression_CaseIdOutsideTheIntRangeWasConvertedUndefined) {
  const std::string settings = knntest::SettingsDoc()
                                   .Continuous("id", -1e308, 1e308)
                                   .Categorical("focal", {"0", "1"}, /*numeric=*/true)
                                   .Continuous("x", 0.0, 10.0)
                                   .Categorical("y", {"a", "b"})
                                   .Target("y")
                                   .Input("x")
                                   .Param("CaseIDVar", "id")
                                   .Param("FocalVar", "focal")
                                   .Param("SpecifiedK", 3)
                                   .Param("TempFileDir", "")
                                   .Xml();
  // id, focal, x, y
  const std::vector<std::vector<double>> rows = {
      {-1e308, 0, 1.0, 0}, {1e12, 0, 2.0, 0}, {3, 0, 8.0, 1}, {4, 0, 9.0, 1}, {-5.7, 0, 1.5, 0}};
  auto algorithm = reltest::CreateAlgorithm(settings);
  ASSERT_NE(algorithm, nullptr);
  reltest::FaultyDataSource source(rows);
  ASSERT_TRUE(algorithm->Build(source).IsOK());

  VelCommon::Record query(std::vector<double>{99, 0, 1.1, 0});
  std::vector<std::vector<double>> results;
  ASSERT_TRUE(algorithm->ScoreRecord(&query, nullptr, &results).IsOK());
  ASSERT_EQ(results.size(), 1u);
  ASSERT_GE(results[0].size(), 3u);
  // Neighbours by distance: x = 1.0, 1.5, 2.0.
  EXPECT_EQ(results[0][0], static_cast<double>(INT_MIN));
  EXPECT_EQ(results[0][1], -5.0);  // truncated toward zero
  EXPECT_EQ(results[0][2], static_cast<double>(INT_MIN));
}

}  // namespace
