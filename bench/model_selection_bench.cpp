// Whole selection stages on synthetic data (fixed seed):
// - forward selection of 8 features out of 20 candidates (10 informative, 10 noise), K = 5,
//   20,000 cases: one tree build and one leave-self-out pass per (step, candidate);
// - K selection over K = 3..30 with 10 folds, 100,000 cases: one tree build per fold and
//   one 30-neighbour search per case.
// Each is run once per repetition and reported in wall-clock seconds.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_support.h"
#include "boundary/stop_control.h"
#include "data/knn_data_preparation.h"
#include "host/vel_interfaces.h"
#include "host/vel_variables.h"
#include "model/knn_model_selection.h"
#include "settings/knn_settings.h"

namespace {

// Columns: id, `informative` then `noise` continuous features in [0, 10], a continuous
// response driven by the informative ones, and a fold variable with `folds` codes.
struct Dataset : knnbench::PreparedStore {
  int response = -1;
};

std::unique_ptr<Dataset> MakeDataset(int n, int informative, int noise, int folds) {
  auto set = std::make_unique<Dataset>();
  std::mt19937 random(771);
  std::uniform_real_distribution<double> uniform(0.0, 10.0);
  std::normal_distribution<double> jitter(0.0, 0.5);

  set->variables.Add(std::make_unique<VelMTD::VelContVar>("id", 0.0, 1e9));
  KNNSettings& s = set->settings;
  for (int j = 0; j < informative + noise; ++j) {
    const int index = set->variables.Add(
        std::make_unique<VelMTD::VelContVar>("x" + std::to_string(j), 0.0, 10.0));
    s.AllFeatures.push_back(index);
  }
  set->response = set->variables.Add(std::make_unique<VelMTD::VelContVar>("y", -1e6, 1e6));
  VelMTD::VelCategories categories;
  for (int f = 0; f < folds; ++f) categories.Add(std::to_string(f), f, nullptr);
  const int fold =
      set->variables.Add(std::make_unique<VelMTD::VelCatVar>("fold", true, categories));

  const int width = set->variables.Size();
  s.TotalVarNum = width;
  s.CaseIDVariable = 0;
  s.VFoldVariable = fold;
  s.VFoldValue = folds;
  s.ResponseContinuous = {set->response};
  s.Responses = {set->response};
  for (int i = 0; i < width; ++i) s.usedVariables.push_back(i);

  std::vector<VelCommon::Record> records;
  records.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    std::vector<double> row{i + 1.0};
    double y = 0.0;
    for (int j = 0; j < informative + noise; ++j) {
      const double x = uniform(random);
      if (j < informative) y += x / (j + 1.0);
      row.push_back(x);
    }
    row.push_back(y + jitter(random));
    row.push_back(static_cast<double>(i % folds));
    records.emplace_back(std::move(row));
  }
  set->Prepare(std::move(records));
  return set;
}

// Runs the selection stages the settings ask for over a fresh response model.
void RunSelection(benchmark::State& state, Dataset& set) {
  for (auto _ : state) {
    KNNResponseModels models;
    models.push_back(std::make_unique<KNNSingleResponseModel>(set.data.get(), set.response, true));
    KNNModelSelection selection(&set.settings, &set.variables, &set.stop, models);
    const VelCommon::VelStatus status = selection.Run();
    if (status.IsError()) {
      state.SkipWithError(("selection failed: " + std::to_string(status.GetErrorCode())).c_str());
      return;
    }
    state.counters["K"] = models[0]->GetK();
    state.counters["features"] = static_cast<double>(models[0]->GetFeatures().size());
  }
}

void BM_ForwardSelection8Of20(benchmark::State& state) {
  auto set = MakeDataset(20000, 10, 10, 2);
  if (set->data == nullptr) {
    state.SkipWithError("data preparation failed");
    return;
  }
  KNNSettings& s = set->settings;
  s.IsFeaSelection = true;
  s.SpecifiedFeaNum = 8;
  s.SpecifiedK = 5;
  RunSelection(state, *set);
}

void BM_KSelection3To30TenFolds(benchmark::State& state) {
  auto set = MakeDataset(100000, 5, 3, 10);
  if (set->data == nullptr) {
    state.SkipWithError("data preparation failed");
    return;
  }
  KNNSettings& s = set->settings;
  s.IsAutoKSelection = true;
  s.MinK = 3;
  s.MaxK = 30;
  RunSelection(state, *set);
}

}  // namespace

BENCHMARK(BM_ForwardSelection8Of20)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_KSelection3To30TenFolds)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
