#include "boundary/knn_validate_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boundary/knn_warning.h"
#include "support/search_fixtures.h"

namespace {

// x and y predictors, fold variable with 5 folds; rows given as (x, y, fold).
struct ValidationCase {
  const char* name;
  std::vector<std::vector<double>> rows;
  bool autoK;
  bool featureSelection;
  int specifiedK;
  int maxK;
  long expectedCode;  // 0: OK
  bool expectWarning;
  int expectedSpecifiedK;
  int expectedMaxK;
};

std::vector<std::vector<double>> Rows(int count, int folds) {
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({double(i % 7) / 7.0, double(i % 5) / 5.0, double(i % folds)});
  }
  return rows;
}

class ValidateInputTest : public ::testing::TestWithParam<ValidationCase> {};

TEST_P(ValidateInputTest, ChecksInOrderAndLowersK) {
  const ValidationCase& p = GetParam();
  knn_test::SearchTable table;
  const int x = table.AddContinuous("x");
  const int y = table.AddContinuous("y");
  const int fold = table.AddCategorical("fold", 5);
  KNNSettings& s = table.Settings();
  s.VFoldVariable = fold;
  s.AllFeatures = {x, y};
  s.IsAutoKSelection = p.autoK;
  s.IsFeaSelection = p.featureSelection;
  s.SpecifiedK = p.specifiedK;
  s.MinK = 2;
  s.MaxK = p.maxK;
  for (const auto& row : p.rows) table.AddRow(row);
  KNNDataPreparation& data = table.CreateData();
  VelCommon::VelStatus read;
  data.Prepare(read, table.Source());  // runs validation once; run it again on its own below
  s.SpecifiedK = p.specifiedK;
  s.MaxK = p.maxK;

  KNNWarning::Instance().Clear();
  KNNValidateInput validate(&s, &table.Variables(), &data);
  VelCommon::VelStatus out(12345, false);
  validate.Validate(out);
  EXPECT_EQ(out.GetErrorCode(), p.expectedCode) << p.name;
  EXPECT_EQ(out.IsWarning(), p.expectWarning) << p.name;
  EXPECT_EQ(validate.GetStatus(), out) << p.name;
  EXPECT_EQ(s.SpecifiedK, p.expectedSpecifiedK) << p.name;
  EXPECT_EQ(s.MaxK, p.expectedMaxK) << p.name;
  EXPECT_EQ(s.MinK, 2) << p.name;
  const auto& warnings = KNNWarning::Instance().List();
  if (p.expectWarning) {
    ASSERT_EQ(warnings.size(), 1U) << p.name;
    EXPECT_EQ(warnings[0], out) << p.name;
  } else {
    EXPECT_TRUE(warnings.empty()) << p.name;
  }
  KNNWarning::Instance().Clear();
}

// A fold without cases: fold 4 never occurs when the rows cycle through 4 folds.
INSTANTIATE_TEST_SUITE_P(
    Codes, ValidateInputTest,
    ::testing::Values(
        ValidationCase{"all_fine", Rows(20, 5), false, false, 3, 5, 0, false, 3, 5},
        ValidationCase{"single_case", Rows(1, 5), true, false, 3, 5, 200058, false, 3, 5},
        ValidationCase{"empty_fold", Rows(20, 4), true, false, 3, 5, 200034, false, 3, 5},
        // The fold check belongs to K selection without feature selection only.
        ValidationCase{"empty_fold_ignored_with_feature_selection", Rows(20, 4), true, true, 3, 5,
                       0, false, 3, 5},
        ValidationCase{"empty_fold_ignored_without_k_selection", Rows(20, 4), false, false, 3, 5, 0,
                       false, 3, 5},
        ValidationCase{"constant_predictor",
                       {{0.5, 0.1, 0}, {0.5, 0.2, 1}, {0.5, 0.3, 2}, {0.5, 0.4, 3}, {0.5, 0.5, 4}},
                       false,
                       false,
                       3,
                       5,
                       200035,
                       false,
                       3,
                       5},
        // An empty fold is found before the constant predictor.
        ValidationCase{"empty_fold_before_constant",
                       {{0.5, 0.1, 0}, {0.5, 0.2, 1}, {0.5, 0.3, 2}},
                       true,
                       false,
                       3,
                       5,
                       200034,
                       false,
                       3,
                       5},
        ValidationCase{"max_k_lowered", Rows(10, 5), true, false, 3, 20, 200069, true, 3, 9},
        ValidationCase{"specified_k_lowered", Rows(2, 2), false, false, 3, 5, 200070, true, 1, 5},
        ValidationCase{"specified_k_just_fits", Rows(4, 4), false, false, 3, 5, 0, false, 3, 5},
        // With K selection only MaxK is checked.
        ValidationCase{"specified_k_ignored_with_k_selection", Rows(10, 5), true, false, 30, 9, 0,
                       false, 30, 9}),
    [](const ::testing::TestParamInfo<ValidationCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
