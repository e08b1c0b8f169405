// The small builds whose model documents the tests check: each a settings document and its
// records (categorical values as category codes, in field order).
#pragma once

#include <string>
#include <vector>

namespace knntest {

struct PmmlCase {
  std::string name;  // also the golden file's base name
  std::string settingsXml;
  std::vector<std::vector<double>> rows;
};

// Classification of y (no/yes) from x1, x2, c1 with x2 forced, two features selected by
// forward selection, feature weighting, K = 3.
PmmlCase ClassificationWithSelectionCase();
// No target, city-block distance, and a field-format text for the trailing extension.
PmmlCase ClusteringCityBlockCase();
// The builds of the two hand-worked example documents.
PmmlCase ExampleClassificationCase();
PmmlCase ExampleClusteringCase();
// The cases with golden documents.
std::vector<PmmlCase> GoldenCases();

}  // namespace knntest
