#include "data/knn_variable.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

#include "host/vel_missing.h"
#include "support/search_fixtures.h"

namespace {

// Columns: 0 predictor [10, 20], 1 target [10, 20], 2 case ID, 3 focal [10, 20],
// 4 categorical predictor (3 codes), 5 case label (3 codes).
class VariableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"p", "t"}) table_.AddContinuous(name, 10.0, 20.0);
    table_.AddCaseId("id");
    table_.AddContinuous("f", 10.0, 20.0);
    for (const char* name : {"c", "label"}) table_.AddCategorical(name, 3);
    table_.Settings().ResponseContinuous = {1};
    table_.Settings().FocalCaseVariable = 3;
    table_.Settings().CaseLabelVariable = 5;
  }
  knn_test::SearchTable table_;
};

// A value is missing only in a used variable (never in the case label: any code is kept);
// the stored and filled value is rescaled only for used predictors (to [-1, 1] over the
// declared range, beyond it outside), raw in every other role: target, case ID, focal value,
// unused, or RescaleMethod 1. Codes out of range, -1 and NaN are missing.
TEST_F(VariableTest, MissingStoredAndFilledValues) {
  const double mv = VelMV::gMissingValue, nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    int index, rescaleMethod;
    bool used;
    double raw;
    bool missing;
    double stored;
  } rows[] = {{0, 0, true, 10.0, false, -1.0}, {0, 0, true, 20.0, false, 1.0},
              {0, 0, true, 25.0, false, 2.0},  {0, 1, true, 15.0, false, 15.0},
              {1, 0, true, 15.0, false, 15.0}, {2, 0, true, 7.0, false, 7.0},
              {3, 0, true, 15.0, false, 15.0}, {0, 0, true, mv, true, 0.0},
              {0, 0, false, mv, false, mv},    {4, 0, true, 2.0, false, 2.0},
              {4, 0, true, 3.0, true, 0.0},    {4, 0, true, -1.0, true, 0.0},
              {4, 0, true, nan, true, 0.0},    {4, 0, false, -1.0, false, -1.0},
              {5, 0, true, 7.0, false, 7.0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "column " << row.index << ", value " << row.raw);
    table_.Settings().RescaleMethod = row.rescaleMethod;
    KNNSettings* s = &table_.Settings();
    std::unique_ptr<IKNNVariable> v;
    if (row.index >= 4)
      v = std::make_unique<KNNCatVariable>(s, &table_.Variables(), row.index);
    else
      v = std::make_unique<KNNContVariable>(s, &table_.Variables(), row.index);
    v->SetUsed(row.used);
    std::vector<double> values(6, 0.0);
    values[static_cast<size_t>(row.index)] = row.raw;
    const VelCommon::Record record(values);
    EXPECT_EQ(v->IsMissing(record), row.missing);
    std::vector<double> caseRow(6, -9.0), store;
    EXPECT_EQ(v->FillCase(record, caseRow), !row.missing);
    if (row.missing) continue;
    EXPECT_EQ(caseRow[static_cast<size_t>(row.index)], row.stored);
    VelCommon::VelStatus status(99, false);
    v->AppendValue(status, record, store);
    EXPECT_TRUE(status.IsOK());
    EXPECT_EQ(store, std::vector<double>{row.stored});
  }
}

}  // namespace
