// Layout of the scored CSV built from the component's result vectors.
#include "scored_csv.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/vel_missing.h"
#include "settings_info.h"

namespace knncli {
namespace {

constexpr double kMissing = VelMV::gMissingValue;

VelMTD::VelCategories Categories(const std::vector<std::string>& values) {
  VelMTD::VelCategories categories;
  for (const std::string& value : values) categories.Add(value, 0.0, nullptr);
  return categories;
}

// Fields: id, price (continuous target), kind (categorical target), tag (case label).
class ScoredCsvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    info_.variables->Add(std::make_unique<VelMTD::VelContVar>("id", 1.0, 9.0));
    info_.variables->Add(std::make_unique<VelMTD::VelContVar>("price", 0.0, 9.0));
    info_.variables->Add(
        std::make_unique<VelMTD::VelCatVar>("kind", false, Categories({"a", "b,c"})));
    info_.variables->Add(
        std::make_unique<VelMTD::VelCatVar>("tag", false, Categories({"t1", "t2"})));
  }
  SettingsInfo info_;
};

TEST_F(ScoredCsvTest, CategoricalThenContinuousTargetsWithLabels) {
  info_.responses = {2, 1};
  info_.caseLabel = 3;
  // Two neighbours: IDs, distances, [probabilities, codes | values], labels.
  const std::vector<std::vector<double>> results = {
      {7, 3, 0.5, 1.25, 0.25, 0.75, 1, 0, 1, kMissing},
      {7, 3, 0.5, 1.25, 4.5, 3.25, 0, 1},
  };
  ScoredCsvLayout layout;
  std::string error;
  ASSERT_TRUE(layout.Init(info_, results, error)) << error;
  EXPECT_EQ(layout.Header(),
            "row,status,kind:neighbor1,kind:neighbor2,kind:distance1,kind:distance2,"
            "kind:prediction1,kind:prediction2,kind:probability-a,\"kind:probability-b,c\","
            "kind:label1,kind:label2,price:neighbor1,price:neighbor2,price:distance1,"
            "price:distance2,price:prediction1,price:prediction2,price:label1,price:label2");
  EXPECT_EQ(layout.Row(1, 0, &results),
            "1,0,7,3,0.5,1.25,\"b,c\",a,0.25,0.75,t2,,7,3,0.5,1.25,4.5,3.25,t1,t2");
  EXPECT_EQ(layout.Row(2, 200049, nullptr), "2,200049" + std::string(18, ','));
}

TEST_F(ScoredCsvTest, WithoutTargetOnlyNeighboursAndDistances) {
  const std::vector<std::vector<double>> results = {
      {4, 2, 8, 0, 0.125, 1, kMissing, kMissing, kMissing}};
  ScoredCsvLayout layout;
  std::string error;
  ASSERT_TRUE(layout.Init(info_, results, error)) << error;
  EXPECT_EQ(layout.Header(),
            "row,status,neighbor1,neighbor2,neighbor3,distance1,distance2,distance3");
  EXPECT_EQ(layout.Row(3, 0, &results), "3,0,4,2,8,0,0.125,1");
}

TEST_F(ScoredCsvTest, FifteenDigitNumbersAndRowsShapedUnlikeTheProbeLeftEmpty) {
  info_.responses = {1};
  const std::vector<std::vector<double>> results = {{1, 0.1 + 0.2, 1.0 / 3.0, kMissing}};
  ScoredCsvLayout layout;
  std::string error;
  ASSERT_TRUE(layout.Init(info_, results, error)) << error;
  EXPECT_EQ(layout.Row(1, 0, &results), "1,0,1,0.3,0.333333333333333");
  const std::vector<std::vector<double>> longer = {{1, 2, 0.5, 0.5, 2, 2, kMissing, kMissing}};
  EXPECT_EQ(layout.Row(4, 0, &longer), "4,0,,,");
}

TEST_F(ScoredCsvTest, RejectsResultsThatFitNoLayout) {
  info_.responses = {2};
  ScoredCsvLayout layout;
  std::string error;
  EXPECT_FALSE(layout.Init(info_, {{1, 2, 3}}, error))
      << "3 values cannot hold 2 probabilities + 4N";
  EXPECT_FALSE(layout.Init(info_, {{1, 1, 0.5, 0.5, 0, 0}, {1}}, error)) << "one result per target";
}

TEST(CsvCellTest, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(CsvCell("plain"), "plain");
  EXPECT_EQ(CsvCell("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(CsvCell("two\nlines"), "\"two\nlines\"");
}

}  // namespace
}  // namespace knncli
