// KD-tree build and leave-self-out search over clustered data.
//
// Data: a mixture of Gaussian clusters in 8 continuous columns (fixed seed), declared on the
// generated range so that data preparation rescales it to [-1, 1]; optionally 3 categorical
// columns (4, 6 and 10 categories) whose codes follow the cluster with some noise.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
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
#include "search/knn_kd_tree.h"
#include "settings/knn_settings.h"

namespace {

constexpr int kContinuous = 8;
constexpr int kCategoryCounts[] = {4, 6, 10};

// A prepared case store plus the feature list, built once per (n, categorical) shape.
struct Dataset : knnbench::PreparedStore {
  std::vector<int> features;
};

std::unique_ptr<Dataset> MakeDataset(int n, bool categorical) {
  auto set = std::make_unique<Dataset>();
  std::mt19937 random(20240611);
  const int clusters = 12;
  std::uniform_real_distribution<double> centre(-10.0, 10.0);
  std::uniform_real_distribution<double> spread(0.3, 2.0);
  std::vector<std::vector<double>> centres(clusters, std::vector<double>(kContinuous));
  std::vector<double> widths(clusters);
  for (int c = 0; c < clusters; ++c) {
    for (double& v : centres[static_cast<size_t>(c)]) v = centre(random);
    widths[static_cast<size_t>(c)] = spread(random);
  }
  std::uniform_int_distribution<int> pick(0, clusters - 1);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::uniform_real_distribution<double> unit(0.0, 1.0);

  const int width = 1 + kContinuous + (categorical ? 3 : 0);
  std::vector<std::vector<double>> rows(static_cast<size_t>(n), std::vector<double>(width));
  std::vector<double> lo(kContinuous, 1e300);
  std::vector<double> hi(kContinuous, -1e300);
  for (int i = 0; i < n; ++i) {
    std::vector<double>& row = rows[static_cast<size_t>(i)];
    const int c = pick(random);
    row[0] = i + 1.0;
    for (int j = 0; j < kContinuous; ++j) {
      const double v = centres[static_cast<size_t>(c)][static_cast<size_t>(j)] +
                       widths[static_cast<size_t>(c)] * gauss(random);
      row[static_cast<size_t>(1 + j)] = v;
      lo[static_cast<size_t>(j)] = std::min(lo[static_cast<size_t>(j)], v);
      hi[static_cast<size_t>(j)] = std::max(hi[static_cast<size_t>(j)], v);
    }
    if (categorical) {
      for (int g = 0; g < 3; ++g) {
        const int count = kCategoryCounts[g];
        const int code =
            unit(random) < 0.8 ? (c + g) % count : static_cast<int>(unit(random) * count) % count;
        row[static_cast<size_t>(1 + kContinuous + g)] = code;
      }
    }
  }

  set->variables.Add(std::make_unique<VelMTD::VelContVar>("id", 0.0, 1e9));
  for (int j = 0; j < kContinuous; ++j) {
    set->variables.Add(std::make_unique<VelMTD::VelContVar>(
        std::string("x").append(std::to_string(j)), lo[static_cast<size_t>(j)],
        hi[static_cast<size_t>(j)]));
    set->features.push_back(1 + j);
  }
  if (categorical) {
    for (int g = 0; g < 3; ++g) {
      VelMTD::VelCategories categories;
      for (int k = 0; k < kCategoryCounts[g]; ++k) categories.Add(std::to_string(k), k, nullptr);
      set->variables.Add(std::make_unique<VelMTD::VelCatVar>(
          std::string("c").append(std::to_string(g)), true, categories));
      set->features.push_back(1 + kContinuous + g);
    }
  }
  KNNSettings& s = set->settings;
  s.TotalVarNum = width;
  s.CaseIDVariable = 0;
  s.DistMetric = 0;
  s.SpecifiedK = 5;
  s.AllFeatures = set->features;
  for (int i = 0; i < width; ++i) s.usedVariables.push_back(i);

  std::vector<VelCommon::Record> records;
  records.reserve(rows.size());
  for (auto& row : rows) records.emplace_back(std::move(row));
  set->Prepare(std::move(records));
  return set;
}

// The data set of the benchmark's arguments (n, categorical), made once; null, with the
// run marked failed, when its preparation failed.
Dataset* Shared(benchmark::State& state) {
  static std::map<std::pair<int, bool>, std::unique_ptr<Dataset>> cache;
  const int n = static_cast<int>(state.range(0));
  const bool categorical = state.range(1) != 0;
  auto& slot = cache[{n, categorical}];
  if (!slot) slot = MakeDataset(n, categorical);
  if (slot->data) return slot.get();
  state.SkipWithError("data preparation failed");
  return nullptr;
}

void BM_TreeBuild(benchmark::State& state) {
  Dataset* set = Shared(state);
  if (set == nullptr) return;
  KNNKdTree tree(*set->data);
  for (auto _ : state) {
    tree.Clear();
    benchmark::DoNotOptimize(tree.Build(set->features, -1, nullptr));
    tree.PlanSearches(5);  // the bucketed index is made by the first search otherwise
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Every case searched once for its 5 nearest other cases: the scoring loop of selection.
void BM_SearchEveryCase(benchmark::State& state) {
  Dataset* set = Shared(state);
  if (set == nullptr) return;
  KNNKdTree tree(*set->data);
  tree.Build(set->features, -1, nullptr);
  const std::vector<double*>& rows = set->data->caseRows;
  for (auto _ : state) {
    double total = 0.0;
    for (const double* row : rows) {
      const KNNNeighborList& list = tree.FindNearest(row, 5, false);
      total += list.items[0].distance;
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(rows.size()));
  // Searches handed to the one-case-per-leaf walk (near ties), per iteration.
  state.counters["walks"] =
      static_cast<double>(tree.CanonicalWalkSearches()) / static_cast<double>(state.iterations());
  state.counters["cases/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * rows.size()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_TreeBuild)
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->ArgNames({"n", "categorical"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchEveryCase)
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->ArgNames({"n", "categorical"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
