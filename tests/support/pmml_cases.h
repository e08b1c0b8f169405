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
// Regression of y with the median, K chosen by 3-fold cross-validation over K = 2..4.
PmmlCase RegressionMedianKSelectionCase();
// Two targets (categorical y, continuous z) with one feature selected for each, so each
// model has its own feature set and its own scoring pass.
PmmlCase TwoTargetsCase();
// No target, city-block distance, and a field-format text for the trailing extension.
PmmlCase ClusteringCityBlockCase();
// String categories whose values and labels hold ";", "\" and spaces.
PmmlCase StringLabelsCase();
// A case identifier field named "ID" and field names that are not XML names.
PmmlCase FieldNamedIdCase();
// Non-ASCII field name and category texts (written with the UTF-8 option).
PmmlCase NonAsciiCase();
// The builds of the two hand-worked example documents.
PmmlCase ExampleClassificationCase();
PmmlCase ExampleClusteringCase();

std::vector<PmmlCase> GoldenCases();

}  // namespace knntest
