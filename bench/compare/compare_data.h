// Reads a data file of gen_data.py: continuous columns, then category codes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

struct CompareData {
  int64_t n = 0;
  int continuous = 0;
  int categorical = 0;
  std::vector<int> categoryCounts;
  std::vector<double> rows;  // n x (continuous + categorical)
  int Width() const { return continuous + categorical; }
};

inline bool ReadCompareData(const char* path, CompareData& data) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  int32_t shape[2];
  bool ok = std::fread(&data.n, sizeof(int64_t), 1, f) == 1 &&
            std::fread(shape, sizeof(int32_t), 2, f) == 2;
  if (ok) {
    data.continuous = shape[0];
    data.categorical = shape[1];
    data.categoryCounts.resize(static_cast<size_t>(data.categorical));
    ok = std::fread(data.categoryCounts.data(), sizeof(int32_t), data.categoryCounts.size(), f) ==
         data.categoryCounts.size();
  }
  if (ok) {
    data.rows.resize(static_cast<size_t>(data.n) * static_cast<size_t>(data.Width()));
    ok = std::fread(data.rows.data(), sizeof(double), data.rows.size(), f) == data.rows.size();
  }
  std::fclose(f);
  return ok;
}

// Processor time of this process: the machine may be shared, and the drivers are single
// threaded, so CPU seconds compare better than wall-clock seconds.
inline double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}
