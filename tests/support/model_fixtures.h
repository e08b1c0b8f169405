// Fixtures for model-building tests: the bundled iris data as a prepared table, seeded
// synthetic tables, and a leave-self-out error computed by brute force (independent of the
// KD-tree) to check what the selection stages record.
#pragma once

#include <cstdint>
#include <vector>

#include "support/search_fixtures.h"

namespace knn_test {

// Variable indices of the iris table, in file order.
struct IrisColumns {
  int id = -1, sepalLength = -1, sepalWidth = -1, petalLength = -1, petalWidth = -1;
  int species = -1, fold = -1;
};

// Reads examples/iris/iris.csv into the table: id as case ID, four continuous measures
// (declared with the observed range), species (3 codes) and fold (5 codes) categorical, the
// fold as VFoldVariable (VFoldValue 5); responses are left to the test. False when the file
// cannot be read.
bool LoadIris(SearchTable& table, IrisColumns& columns);

// A seeded table: case ID, `informative` continuous features that determine the response,
// `noise` continuous features, the response (continuous or a categorical with 2 codes), then
// a fold variable with `folds` codes (0: none). Feature values are uniform in [0, 10].
struct SyntheticColumns {
  int id = -1;
  std::vector<int> informative, noise;
  int response = -1, fold = -1;
};
void FillSynthetic(SearchTable& table, SyntheticColumns& columns, int cases, int informative,
                   int noise, bool continuousResponse, int folds, uint32_t seed);

// Leave-self-out error of a feature list found by brute force: each case (of `fold` only, when
// fold is not -1, with that fold's cases left out of the candidates) is predicted from its K
// nearest other cases; categorical: misclassification rate over `denominator` cases (all
// stored cases when 0), continuous: sum of squared errors.
double BruteForceError(KNNDataPreparation& data, const std::vector<int>& features, int K,
                       int responseColumn, bool continuous, int useMedian, int foldColumn = -1,
                       int fold = -1, int denominator = 0);

}  // namespace knn_test
