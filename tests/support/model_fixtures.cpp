#include "support/model_fixtures.h"

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>

#include "predict/knn_prediction_summary.h"
#include "support/cli_process.h"

namespace knn_test {

bool LoadIris(SearchTable& table, IrisColumns& columns) {
  const auto lines = clitest::Lines(clitest::ReadText(KNN_SOURCE_DIR "/examples/iris/iris.csv"));
  const std::vector<std::string> species{"setosa", "versicolor", "virginica"};
  std::vector<std::vector<double>> rows;
  std::vector<double> lo(5, 1e300), hi(5, -1e300);
  for (size_t i = 1; i < lines.size(); ++i) {
    std::stringstream cells(lines[i]);
    std::vector<double> row;
    for (std::string cell; std::getline(cells, cell, ',');) {
      const auto code = std::find(species.begin(), species.end(), cell) - species.begin();
      row.push_back(row.size() == 5 ? static_cast<double>(code) : std::stod(cell));
    }
    if (row.size() != 7 && !lines[i].empty()) return false;
    for (size_t c = 1; c < 5 && !row.empty(); ++c) {
      lo[c] = std::min(lo[c], row[c]);
      hi[c] = std::max(hi[c], row[c]);
    }
    if (!row.empty()) rows.push_back(row);
  }
  if (rows.empty()) return false;
  columns.id = table.AddCaseId("id");
  columns.sepalLength = table.AddContinuous("sepal_length", lo[1], hi[1]);
  columns.sepalWidth = table.AddContinuous("sepal_width", lo[2], hi[2]);
  columns.petalLength = table.AddContinuous("petal_length", lo[3], hi[3]);
  columns.petalWidth = table.AddContinuous("petal_width", lo[4], hi[4]);
  columns.species = table.AddCategorical("species", 3);
  columns.fold = table.AddCategorical("fold", 5);
  table.Settings().VFoldVariable = columns.fold;
  table.Settings().VFoldValue = 5;
  for (auto& row : rows) table.AddRow(row);
  return true;
}

void FillSynthetic(SearchTable& table, SyntheticColumns& columns, int cases, int informative,
                   int noise, bool continuousResponse, int folds, uint32_t seed) {
  columns = SyntheticColumns();
  columns.id = table.AddCaseId("id");
  for (int i = 0; i < informative; ++i)
    columns.informative.push_back(table.AddContinuous("info" + std::to_string(i), 0.0, 10.0));
  for (int i = 0; i < noise; ++i)
    columns.noise.push_back(table.AddContinuous("noise" + std::to_string(i), 0.0, 10.0));
  columns.response =
      continuousResponse ? table.AddContinuous("y", -1e6, 1e6) : table.AddCategorical("y", 2);
  if (folds > 0) {
    columns.fold = table.AddCategorical("fold", folds);
    table.Settings().VFoldVariable = columns.fold;
    table.Settings().VFoldValue = folds;
  }
  (continuousResponse ? table.Settings().ResponseContinuous
                      : table.Settings().ResponseCategorical) = {columns.response};
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> uniform(0.0, 10.0);
  std::normal_distribution<double> jitter(0.0, 0.5);
  double expected = 0.0;
  for (int i = 0; i < informative; ++i) expected += 5.0 / static_cast<double>(i + 1);
  for (int r = 0; r < cases; ++r) {
    std::vector<double> row{static_cast<double>(r + 1)};
    double signal = 0.0;
    for (int i = 0; i < informative; ++i) {
      row.push_back(uniform(rng));
      signal += row.back() / static_cast<double>(i + 1);  // features differ in importance
    }
    for (int i = 0; i < noise; ++i) row.push_back(uniform(rng));
    const double y = signal + jitter(rng);
    row.push_back(continuousResponse ? y : (y > expected ? 1.0 : 0.0));
    if (folds > 0) row.push_back(static_cast<double>(r % folds));
    table.AddRow(row);
  }
}

double BruteForceError(KNNDataPreparation& data, const std::vector<int>& features, int K,
                       int responseColumn, bool continuous, int useMedian, int foldColumn, int fold,
                       int denominator) {
  const KNNSettings& settings = *data.settings;
  const std::vector<unsigned>* counts =
      continuous ? nullptr
                 : data.variables[static_cast<size_t>(responseColumn)]->GetCategoryCounts();
  std::unique_ptr<KNNPredictionSummary> predictor(CreatePredictionSummary(
      continuous, useMedian, responseColumn, settings.TotalVarNum, counts, data.caseRows));
  double accumulator = 0.0;
  for (int i = 0; i < data.caseCount; ++i) {
    const double* row = data.caseRows[static_cast<size_t>(i)];
    if (fold != -1 && row[foldColumn] != static_cast<double>(fold)) continue;
    const std::vector<BruteNeighbor> all =
        BruteForceScan(data, features, {}, settings.DistMetric == 0, row, foldColumn, fold,
                       settings.CaseIDVariable, false);
    const int n = std::min<int>(K, static_cast<int>(all.size()));
    KNNNeighborList list(K);
    for (size_t j = 0; j < static_cast<size_t>(n); ++j)
      list.items[j] = KNNNeighbor{all[j].distance, all[j].caseIndex};
    list.count = n;
    const std::vector<double>& p = predictor->Predict(row, list);
    predictor->AddError(row, p, accumulator);
  }
  if (continuous) return accumulator;
  const int cases = denominator > 0 ? denominator : data.caseCount;
  return 1.0 - accumulator / static_cast<double>(cases);
}

}  // namespace knn_test
