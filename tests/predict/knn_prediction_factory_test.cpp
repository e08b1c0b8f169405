#include "predict/knn_prediction_factory.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

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

// Column 0: categorical response (codes 0..2); column 1: continuous response.
CaseTable Cases() {
  return CaseTable{{0, 1.0}, {1, 4.0}, {1, 2.0}, {2, 8.0}, {0, 3.0}, {1, 5.0}, {2, 0.5}};
}

const std::vector<unsigned> kFreq{2, 3, 2};

TEST(PredictionFactory, AccumulatesOneErrorPerPredictor) {
  CaseTable cases = Cases();
  KNNCatPredictionSummary cat(0, &kFreq, cases.Rows());
  KNNContPredictionSummary cont(1, 0, cases.Rows());
  KNNPredictionFactory factory({&cat, &cont}, nullptr, false);
  ASSERT_TRUE(factory.AccumulatesErrors());

  // Case 0 (code 0, value 1) from neighbours 4, 1, 2: vote 0,1,1 -> 1 (wrong); mean 9/3.
  KNNNeighborList a = MakeList({4, 1, 2});
  ASSERT_TRUE(factory.Accumulate(a, cases.Row(0)).IsOK());
  // Case 5 (code 1, value 5) from neighbours 1, 2, 6: vote 1,1,2 -> 1 (right); mean 6.5/3.
  KNNNeighborList b = MakeList({1, 2, 6});
  ASSERT_TRUE(factory.Accumulate(b, cases.Row(5)).IsOK());

  const double e0 = 9.0 / 3.0 - 1.0;
  const double e1 = 6.5 / 3.0 - 5.0;
  ASSERT_EQ(factory.Accumulators().size(), 2u);
  EXPECT_DOUBLE_EQ(factory.Accumulators()[0], 1.0);
  EXPECT_DOUBLE_EQ(factory.Accumulators()[1], e0 * e0 + e1 * e1);
  const std::vector<double> errors = factory.GetErrors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_DOUBLE_EQ(errors[0], 1.0 - 1.0 / 7.0);
  EXPECT_DOUBLE_EQ(errors[1], e0 * e0 + e1 * e1);

  factory.Reset();
  EXPECT_EQ(factory.Accumulators(), (std::vector<double>{0.0, 0.0}));
}

TEST(PredictionFactory, AbsentPredictorDisablesAccumulationAndIsNotListed) {
  CaseTable cases = Cases();
  KNNContPredictionSummary cont(1, 0, cases.Rows());
  KNNPredictionFactory factory({nullptr, &cont}, nullptr, false);
  EXPECT_FALSE(factory.AccumulatesErrors());
  EXPECT_EQ(factory.GetErrors().size(), 1u);
  factory.SetSummaries({&cont});
  EXPECT_TRUE(factory.AccumulatesErrors());
}

TEST(PredictionFactory, ResetClearsConfusionCounts) {
  CaseTable cases = Cases();
  KNNCatPredictionSummary cat(0, &kFreq, cases.Rows());
  KNNNeighborList list = MakeList({1, 2});
  cat.PredictEachK(cases.Row(0), list);
  KNNConfusionTable confusion;
  cat.GetConfusion(confusion);
  ASSERT_EQ(confusion[0][1], 1);
  KNNPredictionFactory factory({&cat}, nullptr, false);
  factory.Reset();
  cat.GetConfusion(confusion);
  EXPECT_EQ(confusion[0][1], 0);
}

TEST(PredictionFactory, StopsAtFailedSquaredError) {
  CaseTable cases{{0, 1e200}, {0, -1e200}, {0, 0.0}};
  KNNContPredictionSummary cont(1, 0, cases.Rows());
  KNNContPredictionSummary other(1, 0, cases.Rows());
  KNNPredictionFactory factory({&cont, &other}, nullptr, false);
  KNNNeighborList list = MakeList({0});
  const VelCommon::VelStatus s = factory.Accumulate(list, cases.Row(1));
  EXPECT_EQ(s.GetErrorCode(), KNNStatus::kSquaredErrorFailed);
  EXPECT_EQ(factory.Accumulators(), (std::vector<double>{0.0, 0.0}));
}

// Every K from one list must equal a separate accumulation with a list of exactly k items.
TEST(KSelePredictionFactory, EachKEqualsSeparateAccumulation) {
  CaseTable cases = Cases();
  KNNCatPredictionSummary cat(0, &kFreq, cases.Rows());
  KNNContPredictionSummary cont(1, 1, cases.Rows());
  const int32_t minK = 2, maxK = 5;
  KNNKSelePredictionFactory kFactory({&cat, &cont}, nullptr, maxK, minK);
  KNNPredictionFactory plain({&cat, &cont}, nullptr, false);

  const std::vector<std::vector<int32_t>> neighbours{
      {1, 2, 3, 4, 5}, {0, 4, 6, 2, 1}, {6, 3, 0, 5, 4}, {2, 1, 5, 0, 3}};
  const std::vector<size_t> queries{0, 3, 5, 6};
  std::vector<std::vector<double>> expected(2, std::vector<double>(maxK - minK + 1, 0.0));
  for (int32_t k = minK; k <= maxK; ++k) {
    plain.Reset();
    for (size_t q = 0; q < queries.size(); ++q) {
      KNNNeighborList list =
          MakeList(std::vector<int32_t>(neighbours[q].begin(), neighbours[q].begin() + k));
      ASSERT_TRUE(plain.Accumulate(list, cases.Row(queries[q])).IsOK());
    }
    expected[0][static_cast<size_t>(k - minK)] = plain.Accumulators()[0];
    expected[1][static_cast<size_t>(k - minK)] = plain.Accumulators()[1];
  }
  for (size_t q = 0; q < queries.size(); ++q) {
    KNNNeighborList list = MakeList(neighbours[q]);
    ASSERT_TRUE(kFactory.Accumulate(list, cases.Row(queries[q])).IsOK());
  }
  EXPECT_EQ(kFactory.KAccumulators(), expected);

  kFactory.Reset();
  for (const auto& acc : kFactory.KAccumulators()) {
    EXPECT_EQ(acc, std::vector<double>(maxK - minK + 1, 0.0));
  }
}

TEST(KSelePredictionFactory, KBeyondNeighboursFoundUsesAllFound) {
  CaseTable cases = Cases();
  KNNContPredictionSummary cont(1, 0, cases.Rows());
  KNNKSelePredictionFactory factory({&cont}, nullptr, 4, 1);
  KNNNeighborList list = MakeList({1, 2}, 4);  // only two of four found
  ASSERT_TRUE(factory.Accumulate(list, cases.Row(0)).IsOK());
  const auto& acc = factory.KAccumulators()[0];
  ASSERT_EQ(acc.size(), 4u);
  EXPECT_DOUBLE_EQ(acc[0], 9.0);  // k = 1: 4 vs 1
  EXPECT_DOUBLE_EQ(acc[1], 4.0);  // k = 2: mean 3 vs 1
  EXPECT_DOUBLE_EQ(acc[2], 4.0);
  EXPECT_DOUBLE_EQ(acc[3], 4.0);
}

// ---------------------------------------------------------------------------------------
// The scoring loop over a real tree

// Counts the cases the loop hands to Output.
class OutputCounter : public KNNPredictionFactory {
 public:
  explicit OutputCounter(KNNPredictionSummary* predictor)
      : KNNPredictionFactory({predictor}, nullptr, true) {}
  OutputCounter(KNNPredictionSummary* predictor, KNNStopControl* stop)
      : KNNPredictionFactory({predictor}, stop, true) {}
  void Output(KNNNeighborList& list, const double* row) override {
    rows.push_back(row);
    counts.push_back(list.count);
  }
  std::vector<const double*> rows;
  std::vector<int> counts;
};

class ScoreCasesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    knn_test::FillSynthetic(table_, cols_, 40, 2, 0, true, 3, 7u);
    ASSERT_FALSE(table_.Prepare().IsError());
    model_ = std::make_unique<KNNSingleResponseModel>(&table_.Data(), cols_.response, true);
  }
  knn_test::SearchTable table_;
  knn_test::SyntheticColumns cols_;
  std::unique_ptr<KNNSingleResponseModel> model_;
};

TEST_F(ScoreCasesTest, ScoresOnlyTheHeldOutFold) {
  ASSERT_TRUE(model_->BuildTreeForFeatures(table_.Settings().AllFeatures, 2).IsOK());
  OutputCounter counter(model_->GetPredictor());
  ASSERT_TRUE(counter.ScoreCases(*model_, table_.Data().caseRows, 2, 4).IsOK());
  ASSERT_EQ(counter.rows.size(), 13u);  // cases 3, 6, ..., 39 of 40 have fold 2
  for (const double* row : counter.rows) EXPECT_EQ(row[cols_.fold], 2.0);
  for (int count : counter.counts) EXPECT_EQ(count, 4);
  // The accumulated error is that of the fold's cases only.
  const double expected = knn_test::BruteForceError(table_.Data(), table_.Settings().AllFeatures, 4,
                                                    cols_.response, true, 0, cols_.fold, 2);
  EXPECT_NEAR(counter.Accumulators()[0], expected, 1e-9);
}

TEST_F(ScoreCasesTest, EveryCaseWithoutFoldAndNeverItself) {
  ASSERT_TRUE(model_->BuildTreeForFeatures(table_.Settings().AllFeatures, -1).IsOK());
  OutputCounter counter(model_->GetPredictor());
  ASSERT_TRUE(counter.ScoreCases(*model_, table_.Data().caseRows, -1, 39).IsOK());
  ASSERT_EQ(counter.rows.size(), 40u);
  for (int count : counter.counts) EXPECT_EQ(count, 39) << "all others, not itself";
  EXPECT_NEAR(counter.GetErrors()[0],
              knn_test::BruteForceError(table_.Data(), table_.Settings().AllFeatures, 39,
                                        cols_.response, true, 0),
              1e-9);
}

TEST_F(ScoreCasesTest, StopRequestEndsLoopBeforeNextSearch) {
  ASSERT_TRUE(model_->BuildTreeForFeatures(table_.Settings().AllFeatures, -1).IsOK());
  knn_test::CountingInterruptCheck check(6);
  table_.Stop().interruptCheck = &check;
  OutputCounter counter(model_->GetPredictor(), &table_.Stop());
  const VelCommon::VelStatus s = counter.ScoreCases(*model_, table_.Data().caseRows, -1, 3);
  EXPECT_EQ(s.GetErrorCode(), KNNStatus::kInterrupted);
  EXPECT_EQ(counter.rows.size(), 5u);
  EXPECT_TRUE(table_.Stop().stopRequested.load());
  // The flag stays set: the next loop stops at once without asking the host again.
  OutputCounter again(model_->GetPredictor(), &table_.Stop());
  EXPECT_EQ(again.ScoreCases(*model_, table_.Data().caseRows, -1, 3).GetErrorCode(),
            KNNStatus::kInterrupted);
  EXPECT_TRUE(again.rows.empty());
  EXPECT_EQ(check.Questions(), 6);
  table_.Stop().interruptCheck = nullptr;
}

TEST(ScoreCasesNoNeighbour, CaseThatOnlyFindsItselfFails) {
  knn_test::SearchTable table;
  const int id = table.AddCaseId("id");
  const int x = table.AddContinuous("x", 0.0, 10.0);
  const int z = table.AddContinuous("z", 0.0, 10.0);
  const int y = table.AddContinuous("y", 0.0, 10.0);
  table.Settings().ResponseContinuous = {y};
  table.Settings().AllFeatures = {z};  // x is constant, which validation refuses in a predictor
  // Two records with the same ID and position: each is the other's "self".
  table.AddRow({1, 5.0, 1.0, 2.0});
  table.AddRow({1, 5.0, 9.0, 3.0});
  (void)id;
  (void)z;
  ASSERT_FALSE(table.Prepare().IsError());
  KNNSingleResponseModel model(&table.Data(), y, true);
  ASSERT_TRUE(model.BuildTreeForFeatures({x}, -1).IsOK());
  OutputCounter counter(model.GetPredictor());
  EXPECT_EQ(counter.ScoreCases(model, table.Data().caseRows, -1, 1).GetErrorCode(),
            KNNStatus::kNoNeighbor);
  EXPECT_TRUE(counter.rows.empty());
  EXPECT_EQ(counter.Accumulators()[0], 0.0);
}

// ---------------------------------------------------------------------------------------
// Leave-self-out scoring over a real tree, checked against scikit-learn

// Keeps, for every scored case in order, the predictions for k = 1..K and the distances.
class EachKRecorder : public KNNPredictionFactory {
 public:
  EachKRecorder(KNNPredictionSummary* predictor, int K)
      : KNNPredictionFactory({predictor}, nullptr, true), K_(K) {}
  void Output(KNNNeighborList& list, const double* row) override {
    const std::vector<double>& v = summaries_[0]->PredictEachK(row, list);
    std::vector<double> line(v.end() - list.count, v.end());  // the per-k predictions
    line.resize(static_cast<size_t>(K_), -1.0);
    for (int k = 0; k < K_; ++k) {
      line.push_back(k < list.count ? list.items[static_cast<size_t>(k)].distance : -1.0);
    }
    lines.push_back(std::move(line));
  }
  std::vector<std::vector<double>> lines;

 private:
  int K_;
};

// Scores every case of the prepared table from its K nearest other cases and has the
// python script compare the result with scikit-learn.
void CrossCheck(knn_test::SearchTable& table, const std::vector<int>& features, int response,
                bool continuous, int K, const std::string& name) {
  KNNDataPreparation& data = table.Data();
  KNNSingleResponseModel model(&data, response, continuous);
  ASSERT_TRUE(model.BuildTreeForFeatures(features, -1).IsOK());
  EachKRecorder recorder(model.GetPredictor(), K);
  ASSERT_TRUE(recorder.ScoreCases(model, data.caseRows, -1, K).IsOK());
  ASSERT_EQ(recorder.lines.size(), static_cast<size_t>(data.caseCount));

  const std::string csvPath = ::testing::TempDir() + "knn_crosscheck_" + name + ".csv";
  const std::string logPath = ::testing::TempDir() + "knn_crosscheck_" + name + ".log";
  {
    std::ofstream out(csvPath);
    out.precision(17);
    for (size_t j = 0; j < features.size(); ++j) out << "x" << j << ",";
    out << "y";
    for (int k = 1; k <= K; ++k) out << ",pred" << k;
    for (int k = 1; k <= K; ++k) out << ",dist" << k;
    out << "\n";
    for (int i = 0; i < data.caseCount; ++i) {
      const double* row = data.caseRows[static_cast<size_t>(i)];
      for (int f : features) out << row[f] << ",";
      out << row[response];
      for (double v : recorder.lines[static_cast<size_t>(i)]) out << "," << v;
      out << "\n";
    }
  }
  const std::string command = std::string("/usr/bin/python3 ") + KNN_SOURCE_DIR +
                              "/tests/crosscheck/knn_crosscheck.py --task " +
                              (continuous ? "regression " : "classification ") + csvPath + " > " +
                              logPath + " 2>&1";
  const int raw = std::system(command.c_str());
  std::ifstream log(logPath);
  std::stringstream text;
  text << log.rdbuf();
  const int code = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (code == 0) {
    std::remove(csvPath.c_str());
    std::remove(logPath.c_str());
  }
  if (code == 77) GTEST_SKIP() << text.str();
  EXPECT_EQ(code, 0) << text.str();
  std::printf("%s", text.str().c_str());
}

TEST(SklearnCrossCheck, IrisClassificationForEveryK) {
  knn_test::SearchTable table;
  knn_test::IrisColumns cols;
  ASSERT_TRUE(knn_test::LoadIris(table, cols));
  table.Settings().ResponseCategorical = {cols.species};
  ASSERT_FALSE(table.Prepare().IsError());
  CrossCheck(table, {cols.sepalLength, cols.sepalWidth, cols.petalLength, cols.petalWidth},
             cols.species, false, 10, "iris");
}

TEST(SklearnCrossCheck, SyntheticRegressionForEveryK) {
  knn_test::SearchTable table;
  knn_test::SyntheticColumns cols;
  knn_test::FillSynthetic(table, cols, 250, 3, 2, true, 0, 2024u);
  ASSERT_FALSE(table.Prepare().IsError());
  std::vector<int> features = cols.informative;
  features.insert(features.end(), cols.noise.begin(), cols.noise.end());
  CrossCheck(table, features, cols.response, true, 12, "regression");
}

}  // namespace
