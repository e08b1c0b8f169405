// nanoflann on a data file of gen_data.py: every case searched for its 5 nearest other cases
// (6 with itself). Categorical columns become indicator columns (a mismatch then adds 2 to
// the squared distance, as in the component's metric).
//
// Usage: nanoflann_driver DATA LEAF_SIZE
// Prints: build_s search_s cases_per_s checksum
#include <nanoflann.hpp>

#include <cstdlib>

#include "compare_data.h"

namespace {

// The point cloud adaptor nanoflann reads the expanded rows through.
struct Cloud {
  std::vector<double> values;
  size_t dim = 0;
  size_t kdtree_get_point_count() const { return values.size() / dim; }
  double kdtree_get_pt(size_t i, size_t d) const { return values[i * dim + d]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: nanoflann_driver DATA LEAF_SIZE\n");
    return 2;
  }
  CompareData data;
  if (!ReadCompareData(argv[1], data)) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const size_t leaf = static_cast<size_t>(std::atoi(argv[2]));
  Cloud cloud;
  cloud.dim = static_cast<size_t>(data.continuous);
  for (int count : data.categoryCounts) cloud.dim += static_cast<size_t>(count);
  cloud.values.assign(static_cast<size_t>(data.n) * cloud.dim, 0.0);
  const size_t width = static_cast<size_t>(data.Width());
  for (size_t i = 0; i < static_cast<size_t>(data.n); ++i) {
    const double* row = &data.rows[i * width];
    double* out = &cloud.values[i * cloud.dim];
    size_t d = 0;
    for (int j = 0; j < data.continuous; ++j) out[d++] = row[j];
    for (int g = 0; g < data.categorical; ++g) {
      out[d + static_cast<size_t>(row[data.continuous + g])] = 1.0;
      d += static_cast<size_t>(data.categoryCounts[static_cast<size_t>(g)]);
    }
  }

  using Tree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Cloud>,
                                                   Cloud, -1, uint32_t>;
  const double start = CpuSeconds();
  Tree tree(static_cast<int>(cloud.dim), cloud, nanoflann::KDTreeSingleIndexAdaptorParams(leaf));
  tree.buildIndex();
  const double build = CpuSeconds() - start;

  const double searchStart = CpuSeconds();
  uint32_t found[6];
  double squared[6];
  double checksum = 0.0;
  for (size_t i = 0; i < static_cast<size_t>(data.n); ++i) {
    tree.knnSearch(&cloud.values[i * cloud.dim], 6, found, squared);
    checksum += std::sqrt(squared[1]);
  }
  const double search = CpuSeconds() - searchStart;
  std::printf("%.3f %.3f %.0f checksum %.6f\n", build, search, static_cast<double>(data.n) / search,
              checksum);
  return 0;
}
