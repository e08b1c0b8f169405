// Small builds whose model documents the tests check (categorical values as category codes).
#pragma once

#include <string>
#include <vector>

namespace knntest {

struct PmmlCase {
  std::string name;  // also the golden file's base name
  std::string settingsXml;
  std::vector<std::vector<double>> rows;
};

// y from x1, x2 (forced), c1: forward selection of two features, feature weighting, K = 3.
PmmlCase ClassificationWithSelectionCase();
// No target, city-block distance, a field-format text for the trailing extension.
PmmlCase ClusteringCityBlockCase();
// The builds of the two hand-worked example documents.
PmmlCase ExampleClassificationCase();
PmmlCase ExampleClusteringCase();
std::vector<PmmlCase> GoldenCases();

}  // namespace knntest
