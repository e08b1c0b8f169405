#include "boundary/knn_validate_input.h"

#include <gtest/gtest.h>

#include "boundary/knn_warning.h"
#include "support/search_fixtures.h"

namespace {

// Predictors x, y and a five-category fold variable: checks run in order; too few data lower K.
TEST(KNNValidateInput, ChecksInOrderAndLowersK) {
  struct Case {  // the rows cycle through `folds` folds; code 0: OK
    const char* name;
    int rows, folds;
    bool constantX, autoK, featureSelection;
    int k, maxK, code, lowered, loweredMaxK;
  };
  // clang-format off
  const Case cases[] = {
      {"all fine", 20, 5, false, false, false, 3, 5, 0, 3, 5},
      {"single case", 1, 5, false, true, false, 3, 5, 200058, 3, 5},
      {"empty fold", 20, 4, false, true, false, 3, 5, 200034, 3, 5},
      {"empty fold ignored with feature selection", 20, 4, false, true, true, 3, 5, 0, 3, 5},
      {"empty fold ignored without K selection", 20, 4, false, false, false, 3, 5, 0, 3, 5},
      {"constant predictor", 5, 5, true, false, false, 3, 5, 200035, 3, 5},
      {"empty fold before constant predictor", 3, 5, true, true, false, 3, 5, 200034, 3, 5},
      {"MaxK lowered", 10, 5, false, true, false, 3, 20, 200069, 3, 9},
      {"K lowered", 2, 2, false, false, false, 3, 5, 200070, 1, 5},
      {"K just fits", 4, 4, false, false, false, 3, 5, 0, 3, 5},
      {"only MaxK checked with K selection", 10, 5, false, true, false, 30, 9, 0, 30, 9}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    knn_test::SearchTable table;
    const int x = table.AddContinuous("x"), y = table.AddContinuous("y");
    KNNSettings& s = table.Settings();
    s.VFoldVariable = table.AddCategorical("fold", 5);
    s.AllFeatures = {x, y};
    s.IsAutoKSelection = c.autoK;
    s.IsFeaSelection = c.featureSelection;
    s.MinK = 2;
    for (int i = 0; i < c.rows; ++i) {
      table.AddRow({c.constantX ? 0.5 : (i % 7) / 7.0, (i % 5) / 5.0, double(i % c.folds)});
    }
    KNNDataPreparation& data = table.CreateData();
    VelCommon::VelStatus read;
    data.Prepare(read, table.Source());  // validates once; run it again on its own below
    s.SpecifiedK = c.k;
    s.MaxK = c.maxK;
    KNNWarning::Instance().Clear();
    KNNValidateInput validate(&s, &table.Variables(), &data);
    VelCommon::VelStatus out(12345, false);
    validate.Validate(out);
    EXPECT_EQ(out.GetErrorCode(), c.code);
    EXPECT_EQ(std::vector<int>({s.SpecifiedK, s.MaxK, s.MinK}),
              std::vector<int>({c.lowered, c.loweredMaxK, 2}));
    const bool warning = c.code == 200069 || c.code == 200070;
    EXPECT_EQ(out.IsWarning(), warning);
    EXPECT_EQ(KNNWarning::Instance().List(), warning ? std::vector<VelCommon::VelStatus>{out}
                                                     : std::vector<VelCommon::VelStatus>{});
  }
  KNNWarning::Instance().Clear();
}

}  // namespace
