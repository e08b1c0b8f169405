#include "predict/knn_prediction_factory.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "boundary/status_codes.h"
#include "model/knn_single_response_model.h"
#include "support/model_case_table.h"
#include "support/model_fixtures.h"

namespace {

using knn_test::CaseTable;
using knn_test::MakeList;

TEST(PredictionFactory, AccumulatesOneErrorPerPredictor) {
  // Column 0: categorical response (codes 0..2); column 1: continuous response.
  CaseTable cases{{0, 1.0}, {1, 4.0}, {1, 2.0}, {2, 8.0}, {0, 3.0}, {1, 5.0}, {2, 0.5}};
  const std::vector<unsigned> freq{2, 3, 2};
  KNNCatPredictionSummary cat(0, &freq, cases.Rows());
  KNNContPredictionSummary cont(1, 0, cases.Rows());
  KNNPredictionFactory factory({&cat, &cont}, nullptr, false);
  ASSERT_TRUE(factory.AccumulatesErrors());
  // Case 0 (code 0, value 1) from neighbours 4, 1, 2: vote 0,1,1 -> 1 (wrong); mean 9/3.
  KNNNeighborList a = MakeList({4, 1, 2});
  ASSERT_TRUE(factory.Accumulate(a, cases.Row(0)).IsOK());
  // Case 5 (code 1, value 5) from neighbours 1, 2, 6: vote 1,1,2 -> 1 (right); mean 6.5/3.
  KNNNeighborList b = MakeList({1, 2, 6});
  ASSERT_TRUE(factory.Accumulate(b, cases.Row(5)).IsOK());
  const double e0 = 9.0 / 3.0 - 1.0, e1 = 6.5 / 3.0 - 5.0;
  const std::vector<double> errors = factory.GetErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_DOUBLE_EQ(errors[0], 1.0 - 1.0 / 7.0);  // one right of the 7 stored cases
  EXPECT_DOUBLE_EQ(errors[1], e0 * e0 + e1 * e1);
  // A square that overflows fails the case and adds nothing to its sum.
  const double huge[] = {1, 1e200};
  EXPECT_EQ(factory.Accumulate(b, huge).GetErrorCode(), KNNStatus::kSquaredErrorFailed);
  EXPECT_EQ(factory.GetErrors().at(1), errors[1]);
  // Reset clears the sums and the predictors' confusion counts.
  cat.PredictEachK(cases.Row(0), a);
  KNNConfusionTable confusion;
  cat.GetConfusion(confusion);
  ASSERT_GT(confusion[0][1], 0);
  factory.Reset();
  EXPECT_EQ(factory.Accumulators(), (std::vector<double>{0.0, 0.0}));
  cat.GetConfusion(confusion);
  EXPECT_EQ(confusion[0][1], 0);
  // An absent predictor turns accumulation off and is not listed.
  factory.SetSummaries({nullptr, &cont});
  EXPECT_FALSE(factory.AccumulatesErrors());
  EXPECT_EQ(factory.GetErrors().size(), 1u);
}

// Records the cases scored, and optionally the predictions and distances for k = 1..K.
struct Recorder : KNNPredictionFactory {
  explicit Recorder(KNNPredictionSummary* predictor, int K = 0)
      : KNNPredictionFactory({predictor}, nullptr, true), K_(K) {}
  void Output(KNNNeighborList& list, const double* row) override {
    rows.push_back(row);
    counts.push_back(list.count);
    if (K_ == 0) return;
    const std::vector<double>& v = summaries_[0]->PredictEachK(row, list);
    std::vector<double> line(v.end() - list.count, v.end());
    line.resize(size_t(K_), -1.0);
    for (int k = 0; k < K_; ++k)
      line.push_back(k < list.count ? list.items[size_t(k)].distance : -1);
    lines.push_back(std::move(line));
  }
  std::vector<const double*> rows;
  std::vector<int> counts;
  std::vector<std::vector<double>> lines;
  int K_;
};

struct ScoreCasesTest : ::testing::Test {
  void SetUp() override {
    knn_test::FillSynthetic(table_, cols_, 40, 2, 0, true, 3, 7u);
    ASSERT_FALSE(table_.Prepare().IsError());
    model_ = std::make_unique<KNNSingleResponseModel>(&table_.Data(), cols_.response, true);
  }
  knn_test::SearchTable table_;
  knn_test::SyntheticColumns cols_;
  std::unique_ptr<KNNSingleResponseModel> model_;
};

// Only the held-out fold's cases are scored (every case without a fold), each from K other
// cases, never itself; the accumulated error is that of the scored cases.
TEST_F(ScoreCasesTest, ScoresTheHeldOutFoldFromOtherCases) {
  for (const auto& [fold, K, scored] : {std::tuple(2, 4, 13), std::tuple(-1, 39, 40)}) {
    SCOPED_TRACE(::testing::Message() << "fold " << fold);
    ASSERT_TRUE(model_->BuildTreeForFeatures(table_.Settings().AllFeatures, fold).IsOK());
    Recorder recorder(model_->GetPredictor());
    ASSERT_TRUE(recorder.ScoreCases(*model_, table_.Data().caseRows, fold, K).IsOK());
    ASSERT_EQ(recorder.rows.size(), size_t(scored));  // cases 3, 6, ..., 39 have fold 2
    for (const double* row : recorder.rows) EXPECT_TRUE(fold == -1 || row[cols_.fold] == fold);
    EXPECT_EQ(recorder.counts, std::vector<int>(size_t(scored), K));
    EXPECT_NEAR(recorder.Accumulators()[0],
                knn_test::BruteForceError(table_.Data(), table_.Settings().AllFeatures, K,
                                          cols_.response, true, 0, cols_.fold, fold),
                1e-9);
  }
}

// Every case made a copy of the first, case ID included: each is every other's "self".
TEST_F(ScoreCasesTest, CaseThatOnlyFindsItselfFails) {
  const KNNCaseRows& rows = table_.Data().caseRows;
  for (size_t i = 1; i < rows.size(); ++i)
    std::copy(rows[0], rows[0] + table_.Data().rowWidth, rows[i]);
  ASSERT_TRUE(model_->BuildTreeForFeatures(table_.Settings().AllFeatures, -1).IsOK());
  Recorder recorder(model_->GetPredictor());
  EXPECT_EQ(recorder.ScoreCases(*model_, rows, -1, 1).GetErrorCode(), KNNStatus::kNoNeighbor);
  EXPECT_TRUE(recorder.rows.empty());
  EXPECT_EQ(recorder.Accumulators()[0], 0.0);
}

// Scores every case from its K nearest other cases over a real tree; the python script
// compares the votes for every k and the distances with scikit-learn (skipped without it).
TEST(SklearnCrossCheck, IrisClassificationForEveryK) {
  knn_test::SearchTable table;
  knn_test::IrisColumns cols;
  ASSERT_TRUE(knn_test::LoadIris(table, cols));
  table.Settings().ResponseCategorical = {cols.species};
  ASSERT_FALSE(table.Prepare().IsError());
  const std::vector<int> features{cols.sepalLength, cols.sepalWidth, cols.petalLength,
                                  cols.petalWidth};
  const int K = 10;
  KNNDataPreparation& data = table.Data();
  KNNSingleResponseModel model(&data, cols.species, false);
  ASSERT_TRUE(model.BuildTreeForFeatures(features, -1).IsOK());
  Recorder recorder(model.GetPredictor(), K);
  ASSERT_TRUE(recorder.ScoreCases(model, data.caseRows, -1, K).IsOK());
  ASSERT_EQ(recorder.lines.size(), size_t(data.caseCount));
  const std::string base = ::testing::TempDir() + "knn_crosscheck_iris";
  std::ofstream out(base + ".csv");
  out.precision(17);
  out << "x0,x1,x2,x3,y";
  for (const char* column : {",pred", ",dist"})
    for (int k = 1; k <= K; ++k) out << column << k;
  for (int i = 0; i < data.caseCount; ++i) {
    out << "\n";
    for (int f : features) out << data.caseRows[size_t(i)][f] << ",";
    out << data.caseRows[size_t(i)][cols.species];
    for (double v : recorder.lines[size_t(i)]) out << "," << v;
  }
  out << "\n";
  out.close();
  const std::string command = std::string("/usr/bin/python3 ") + KNN_SOURCE_DIR +
                              "/tests/crosscheck/knn_crosscheck.py --task classification " + base +
                              ".csv > " + base + ".log 2>&1";
  const int raw = std::system(command.c_str());
  std::stringstream text;
  text << std::ifstream(base + ".log").rdbuf();
  const int code = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (code == 0) std::remove((base + ".csv").c_str()), std::remove((base + ".log").c_str());
  if (code == 77) GTEST_SKIP() << text.str();
  EXPECT_EQ(code, 0) << text.str() << " (input kept in " << base << ".csv)";
}

}  // namespace
