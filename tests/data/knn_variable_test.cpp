#include "data/knn_variable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "host/vel_missing.h"
#include "support/search_fixtures.h"

namespace {

// Variables: 0 predictor [10, 20], 1 target [10, 20], 2 case ID, 3 focal [10, 20],
// 4 categorical predictor (3 categories), 5 case label (3 categories).
class VariableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    predictor_ = table_.AddContinuous("p", 10.0, 20.0);
    target_ = table_.AddContinuous("t", 10.0, 20.0);
    id_ = table_.AddCaseId("id");
    focal_ = table_.AddContinuous("f", 10.0, 20.0);
    category_ = table_.AddCategorical("c", 3);
    label_ = table_.AddCategorical("label", 3);
    KNNSettings& s = table_.Settings();
    s.ResponseContinuous = {target_};
    s.FocalCaseVariable = focal_;
    s.CaseLabelVariable = label_;
  }

  KNNContVariable Continuous(int index, bool used = true) {
    KNNContVariable variable(&table_.Settings(), &table_.Variables(), index);
    variable.SetUsed(used);
    return variable;
  }
  KNNCatVariable Categorical(int index, bool used = true) {
    KNNCatVariable variable(&table_.Settings(), &table_.Variables(), index);
    variable.SetUsed(used);
    return variable;
  }
  // A record with value v at index and zeros elsewhere.
  static VelCommon::Record At(int index, double v) {
    std::vector<double> values(6, 0.0);
    values[static_cast<size_t>(index)] = v;
    return VelCommon::Record(values);
  }
  static double Appended(IKNNVariable& variable, const VelCommon::Record& record) {
    std::vector<double> store;
    VelCommon::VelStatus status(99, false);
    variable.AppendValue(status, record, store);
    EXPECT_TRUE(status.IsOK());
    EXPECT_EQ(store.size(), 1U);
    return store.empty() ? std::nan("") : store[0];
  }

  knn_test::SearchTable table_;
  int predictor_ = 0, target_ = 0, id_ = 0, focal_ = 0, category_ = 0, label_ = 0;
};

TEST_F(VariableTest, ContinuousStoredValues) {
  struct Row {
    const char* name;
    int which;
    int rescaleMethod;
    double raw;
    double stored;
  };
  const Row rows[] = {
      {"predictor_min", 0, 0, 10.0, -1.0},    {"predictor_mid", 0, 0, 15.0, 0.0},
      {"predictor_max", 0, 0, 20.0, 1.0},     {"predictor_beyond", 0, 0, 25.0, 2.0},
      {"target_own_units", 1, 0, 15.0, 15.0}, {"case_id_own_units", 2, 0, 7.0, 7.0},
      {"focal_own_units", 3, 0, 15.0, 15.0},  {"no_rescaling", 0, 1, 15.0, 15.0},
  };
  const int indices[] = {predictor_, target_, id_, focal_};
  for (const Row& row : rows) {
    table_.Settings().RescaleMethod = row.rescaleMethod;
    const int index = indices[row.which];
    KNNContVariable variable = Continuous(index);
    EXPECT_EQ(Appended(variable, At(index, row.raw)), row.stored) << row.name;
    std::vector<double> caseRow(6, -9.0);
    EXPECT_TRUE(variable.FillCase(At(index, row.raw), caseRow)) << row.name;
    EXPECT_EQ(caseRow[static_cast<size_t>(index)], row.stored) << row.name;
    EXPECT_EQ(variable.GetCategoryCounts(), nullptr);
  }
}

TEST_F(VariableTest, ContinuousMissingValue) {
  KNNContVariable used = Continuous(predictor_);
  EXPECT_TRUE(used.IsMissing(At(predictor_, VelMV::gMissingValue)));
  EXPECT_FALSE(used.IsMissing(At(predictor_, 12.0)));
  std::vector<double> row(6, 0.0);
  EXPECT_FALSE(used.FillCase(At(predictor_, VelMV::gMissingValue), row));

  // Not used: never missing, stored and filled raw.
  KNNContVariable unused = Continuous(predictor_, false);
  EXPECT_FALSE(unused.IsMissing(At(predictor_, VelMV::gMissingValue)));
  EXPECT_EQ(Appended(unused, At(predictor_, VelMV::gMissingValue)), VelMV::gMissingValue);
  EXPECT_EQ(Appended(unused, At(predictor_, 15.0)), 15.0);
  EXPECT_TRUE(unused.FillCase(At(predictor_, 15.0), row));
  EXPECT_EQ(row[static_cast<size_t>(predictor_)], 15.0);
  EXPECT_TRUE(unused.IsConstant());  // unused values are not tested
}

TEST_F(VariableTest, CategoricalMissingAndCounts) {
  KNNCatVariable variable = Categorical(category_);
  EXPECT_TRUE(variable.IsMissing(At(category_, 3.0)));
  EXPECT_TRUE(variable.IsMissing(At(category_, -1.0)));
  EXPECT_TRUE(variable.IsMissing(At(category_, std::numeric_limits<double>::quiet_NaN())));
  EXPECT_FALSE(variable.IsMissing(At(category_, 2.0)));
  EXPECT_EQ(Appended(variable, At(category_, 2.0)), 2.0);
  EXPECT_EQ(Appended(variable, At(category_, 2.0)), 2.0);
  EXPECT_EQ(Appended(variable, At(category_, 0.0)), 0.0);
  ASSERT_NE(variable.GetCategoryCounts(), nullptr);
  EXPECT_EQ(*variable.GetCategoryCounts(), (std::vector<unsigned>{1, 0, 2}));

  std::vector<double> row(6, 0.0);
  EXPECT_FALSE(variable.FillCase(At(category_, 3.0), row));
  EXPECT_FALSE(variable.FillCase(At(category_, -1.0), row));
  EXPECT_TRUE(variable.FillCase(At(category_, 1.0), row));
  EXPECT_EQ(row[static_cast<size_t>(category_)], 1.0);

  KNNCatVariable unused = Categorical(category_, false);
  EXPECT_FALSE(unused.IsMissing(At(category_, -1.0)));
  EXPECT_EQ(Appended(unused, At(category_, -1.0)), -1.0);
  EXPECT_EQ(*unused.GetCategoryCounts(), (std::vector<unsigned>{0, 0, 0}));
}

TEST_F(VariableTest, CaseLabelIsNeverMissingNorCounted) {
  KNNCatVariable label = Categorical(label_);
  EXPECT_TRUE(label.isCaseLabel);
  EXPECT_FALSE(label.IsMissing(At(label_, 7.0)));
  EXPECT_FALSE(label.IsMissing(At(label_, -1.0)));
  EXPECT_EQ(Appended(label, At(label_, 7.0)), 7.0);
  EXPECT_EQ(Appended(label, At(label_, 1.0)), 1.0);
  EXPECT_EQ(*label.GetCategoryCounts(), (std::vector<unsigned>{0, 0, 0}));
  std::vector<double> row(6, 0.0);
  EXPECT_TRUE(label.FillCase(At(label_, 7.0), row));
  EXPECT_EQ(row[static_cast<size_t>(label_)], 7.0);
}

TEST_F(VariableTest, Constancy) {
  struct Series {
    const char* name;
    bool categorical;
    std::vector<double> values;
    bool constant;
  };
  const Series series[] = {
      {"cat_all_one", true, {1.0, 1.0, 1.0}, true},
      {"cat_one_two", true, {1.0, 2.0, 1.0}, false},
      {"cat_late_change", true, {0.0, 0.0, 0.0, 2.0}, false},
      {"cont_same", false, {12.5, 12.5}, true},
      {"cont_differs", false, {12.5, 12.5, 13.0}, false},
      {"cont_single", false, {19.0}, true},
  };
  for (const Series& s : series) {
    const int index = s.categorical ? category_ : predictor_;
    std::unique_ptr<IKNNVariable> variable;
    if (s.categorical) {
      variable = std::make_unique<KNNCatVariable>(Categorical(index));
    } else {
      variable = std::make_unique<KNNContVariable>(Continuous(index));
    }
    std::vector<double> store;
    VelCommon::VelStatus status;
    for (double v : s.values) variable->AppendValue(status, At(index, v), store);
    EXPECT_EQ(variable->IsConstant(), s.constant) << s.name;
    EXPECT_EQ(store.size(), s.values.size()) << s.name;
  }
}

}  // namespace
