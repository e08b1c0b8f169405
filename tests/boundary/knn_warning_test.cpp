#include "boundary/knn_warning.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using VelCommon::VelStatus;

class KNNWarningTest : public ::testing::Test {
 protected:
  void SetUp() override { KNNWarning::Instance().Clear(); }
  void TearDown() override { KNNWarning::Instance().Clear(); }
};

TEST_F(KNNWarningTest, KeepsFirstAdditionOrderWithoutRepeats) {
  KNNWarning& warnings = KNNWarning::Instance();
  EXPECT_EQ(&warnings, &KNNWarning::Instance());
  warnings.Add(VelStatus(200069, true));
  warnings.Add(VelStatus(200068, true));
  warnings.Add(VelStatus(200069, true));
  VelStatus withDatum(200068, true);
  withDatum.SetDiscreteDatum(0, 4);  // data do not make a status different
  warnings.Add(withDatum);
  warnings.Add(VelStatus(200069, false));  // another kind is another entry
  EXPECT_EQ(warnings.List(),
            (std::vector<VelStatus>{VelStatus(200069, true), VelStatus(200068, true),
                                    VelStatus(200069, false)}));
}

TEST_F(KNNWarningTest, ClearEmptiesButKeepsTheList) {
  KNNWarning& warnings = KNNWarning::Instance();
  const std::vector<VelStatus>* list = &warnings.List();
  warnings.Add(VelStatus(200070, true));
  warnings.Clear();
  EXPECT_TRUE(warnings.List().empty());
  EXPECT_EQ(&warnings.List(), list);
  warnings.Add(VelStatus(200070, true));  // addable again after clearing
  EXPECT_EQ(list->size(), 1u);
}

}  // namespace
