// Entry functions of the fuzz targets. Each takes one input of arbitrary bytes, drives the
// component with it and aborts (through KNN_FUZZ_CHECK) when an invariant breaks, so that
// libFuzzer and the corpus replay both report the input as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace knnfuzz {

// The settings document through the factory.
int FuzzSettingsDocument(const uint8_t* data, size_t size);
// A CSV file through the knn host's data source, then a build over a fixed settings document.
int FuzzCsvDataSource(const uint8_t* data, size_t size);
// Small valid settings and records derived from the bytes: build, score, write the model
// document, which must be schema-valid and leave no temporary file behind.
int FuzzModelDocument(const uint8_t* data, size_t size);

using FuzzEntry = int (*)(const uint8_t*, size_t);

struct FuzzTarget {
  const char* name;  // also the corpus folder name
  FuzzEntry entry;
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"settings_document", &FuzzSettingsDocument},
    {"csv_data_source", &FuzzCsvDataSource},
    {"model_document", &FuzzModelDocument},
};

[[noreturn]] inline void FuzzFailure(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: fuzz invariant broken: %s\n", file, line, condition);
  std::abort();
}

}  // namespace knnfuzz

#define KNN_FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::knnfuzz::FuzzFailure(__FILE__, __LINE__, #condition))
