// Fixtures for model-building tests: the bundled iris data, seeded synthetic tables, and a
// leave-self-out error found by brute force (independent of the KD-tree).
#pragma once

#include <cstdint>
#include <vector>

#include "support/search_fixtures.h"

namespace knn_test {

struct IrisColumns {
  int id = -1, sepalLength = -1, sepalWidth = -1, petalLength = -1, petalWidth = -1;
  int species = -1, fold = -1;
};

// examples/iris/iris.csv: id as case ID, four continuous measures (declared with the observed
// range), species (3 codes), fold (5 codes) as VFoldVariable; responses are left to the test.
bool LoadIris(SearchTable& table, IrisColumns& columns);

// Case ID, `informative` features that determine the response, `noise` features (all uniform in
// [0, 10]), the response (continuous, or 2 codes), then a fold variable with `folds` codes
// (0: none).
struct SyntheticColumns {
  int id = -1;
  std::vector<int> informative, noise;
  int response = -1, fold = -1;
};
void FillSynthetic(SearchTable& table, SyntheticColumns& columns, int cases, int informative,
                   int noise, bool continuousResponse, int folds, uint32_t seed);

// Each case (of `fold` only, when not -1, that fold's cases then being left out of the
// candidates) predicted from its K nearest other cases; categorical: misclassification rate over
// `denominator` cases (0: all), continuous: sum of squared errors.
double BruteForceError(KNNDataPreparation& data, const std::vector<int>& features, int K,
                       int responseColumn, bool continuous, int useMedian, int foldColumn = -1,
                       int fold = -1, int denominator = 0);

}  // namespace knn_test
