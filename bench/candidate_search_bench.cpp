// The shared search of a forward-selection trial pass: every case searched once for its 5
// nearest other cases under base + c, for every remaining candidate c at once.
//
// Data: 20 independent uniform columns on [0, 10] (fixed seed), as the selection comparison
// generates them; the base is the first b columns, the candidates the rest.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "host/vel_variables.h"
#include "search/knn_candidate_search.h"

namespace {

constexpr int kColumns = 20;
constexpr int kCases = 20000;
constexpr int kK = 5;

knnbench::PreparedStore* Store() {
  static std::unique_ptr<knnbench::PreparedStore> store;
  if (store) return store.get();
  store = std::make_unique<knnbench::PreparedStore>();
  std::mt19937 random(771);
  std::uniform_real_distribution<double> uniform(0.0, 10.0);
  std::vector<VelCommon::Record> records;
  for (int i = 0; i < kCases; ++i) {
    std::vector<double> row(1 + kColumns);
    row[0] = i + 1.0;
    for (int j = 1; j <= kColumns; ++j) row[static_cast<size_t>(j)] = uniform(random);
    records.emplace_back(std::move(row));
  }
  store->variables.Add(std::make_unique<VelMTD::VelContVar>("id", 0.0, 1e9));
  KNNSettings& s = store->settings;
  for (int j = 1; j <= kColumns; ++j) {
    store->variables.Add(
        std::make_unique<VelMTD::VelContVar>("x" + std::to_string(j - 1), 0.0, 10.0));
    s.AllFeatures.push_back(j);
  }
  s.TotalVarNum = 1 + kColumns;
  s.CaseIDVariable = 0;
  s.DistMetric = 0;
  s.SpecifiedK = kK;
  for (int i = 0; i <= kColumns; ++i) s.usedVariables.push_back(i);
  store->Prepare(std::move(records));
  return store.get();
}

void BM_CandidateSearchPass(benchmark::State& state) {
  knnbench::PreparedStore* store = Store();
  if (!store->data) {
    state.SkipWithError("data preparation failed");
    return;
  }
  const KNNDataPreparation& data = *store->data;
  const int b = static_cast<int>(state.range(0));
  std::vector<int> base;
  std::vector<int> candidates;
  for (int j = 1; j <= kColumns; ++j) (j <= b ? base : candidates).push_back(j);
  const std::vector<double> weights(static_cast<size_t>(data.rowWidth), 1.0);
  const size_t r = candidates.size();
  const size_t n = data.caseRows.size();
  std::vector<KNNNeighbor> found(r * n * kK);
  std::vector<int32_t> counts(r * n);
  KNNCandidateSearch search(data);
  if (!search.Build(base, candidates, weights)) {
    state.SkipWithError("the candidate search does not apply");
    return;
  }
  int64_t deferred = 0;
  for (auto _ : state) {
    for (const int32_t caseNumber : search.CaseOrder()) {
      const auto i = static_cast<size_t>(caseNumber);
      search.Search(caseNumber, kK, found.data() + i * kK, n * kK, counts.data() + i, n);
    }
    for (const int32_t count : counts) deferred += count < 0 ? 1 : 0;
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["cases/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * n), benchmark::Counter::kIsRate);
  state.counters["deferred"] =
      static_cast<double>(deferred) / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_CandidateSearchPass)
    ->ArgName("base")
    ->Arg(0)
    ->Arg(2)
    ->Arg(7)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
