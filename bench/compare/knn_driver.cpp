// The component's KD-tree on a data file of gen_data.py: the cases go through data
// preparation into the case store (already in [-1, 1], so no further rescaling), then every
// case is searched for its 5 nearest other cases, as in the selection loops.
//
// Usage: knn_driver DATA [euclidean|cityblock]
// Prints: build_s search_s cases_per_s checksum walks tree_bytes_per_case
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "boundary/stop_control.h"
#include "compare_data.h"
#include "data/knn_data_preparation.h"
#include "host/vel_interfaces.h"
#include "host/vel_variables.h"
#include "search/knn_kd_tree.h"
#include "settings/knn_settings.h"

namespace {

// Hands the file's rows to data preparation one record at a time: case ID first.
class FileSource : public IVelDataSource {
 public:
  explicit FileSource(const CompareData& data) : data_(data) {}
  bool Rewind() override {
    next_ = 0;
    return true;
  }
  const VelCommon::Record* NextRecord() override {
    if (next_ >= data_.n) return nullptr;
    const size_t width = static_cast<size_t>(data_.Width());
    const double* row = &data_.rows[static_cast<size_t>(next_) * width];
    std::vector<double> values(width + 1);
    values[0] = static_cast<double>(next_ + 1);
    std::memcpy(values.data() + 1, row, width * sizeof(double));
    record_ = VelCommon::Record(std::move(values));
    ++next_;
    return &record_;
  }

 private:
  const CompareData& data_;
  int64_t next_ = 0;
  VelCommon::Record record_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: knn_driver DATA [euclidean|cityblock]\n");
    return 2;
  }
  CompareData data;
  if (!ReadCompareData(argv[1], data)) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const bool cityblock = argc > 2 && std::string(argv[2]) == "cityblock";

  VelMTD::VelVarList variables;
  KNNSettings settings;
  KNNStopControl stop;
  std::vector<int> features;
  variables.Add(std::make_unique<VelMTD::VelContVar>("id", 0.0, 1e12));
  for (int j = 0; j < data.continuous; ++j) {
    features.push_back(variables.Add(std::make_unique<VelMTD::VelContVar>(
        std::string("x").append(std::to_string(j)), -1.0, 1.0)));
  }
  for (int g = 0; g < data.categorical; ++g) {
    VelMTD::VelCategories categories;
    for (int k = 0; k < data.categoryCounts[static_cast<size_t>(g)]; ++k) {
      categories.Add(std::to_string(k), k, nullptr);
    }
    features.push_back(variables.Add(std::make_unique<VelMTD::VelCatVar>(
        std::string("c").append(std::to_string(g)), true, categories)));
  }
  settings.TotalVarNum = variables.Size();
  settings.CaseIDVariable = 0;
  settings.DistMetric = cityblock ? 1 : 0;
  settings.RescaleMethod = 1;
  settings.SpecifiedK = 5;
  settings.AllFeatures = features;
  for (int i = 0; i < variables.Size(); ++i) settings.usedVariables.push_back(i);

  KNNDataPreparation prepared(&settings, &variables, &stop, nullptr);
  {
    FileSource source(data);
    VelCommon::VelStatus status;
    prepared.Prepare(status, source);
    if (!status.IsOK()) {
      std::fprintf(stderr, "data preparation failed: %d\n",
                   static_cast<int>(status.GetErrorCode()));
      return 1;
    }
  }
  // The driver's own copy of the file is no longer needed; peak RSS then reflects the store.
  std::vector<double>().swap(data.rows);

  KNNKdTree tree(prepared);
  const double start = CpuSeconds();
  tree.Clear();
  tree.Build(features, -1, nullptr);
  tree.PlanSearches(5);  // the bucketed index is made here rather than by the first search
  const double build = CpuSeconds() - start;

  const double searchStart = CpuSeconds();
  double checksum = 0.0;
  for (const double* row : prepared.caseRows) {
    const KNNNeighborList& list = tree.FindNearest(row, 5, false);
    if (list.count > 0) checksum += list.items[0].distance;
  }
  const double search = CpuSeconds() - searchStart;
  std::printf("%.3f %.3f %.0f checksum %.6f walks %lld tree_bytes_per_case %.1f\n", build, search,
              static_cast<double>(data.n) / search, checksum, tree.CanonicalWalkSearches(),
              static_cast<double>(tree.MemoryBytes()) / static_cast<double>(data.n));
  return 0;
}
