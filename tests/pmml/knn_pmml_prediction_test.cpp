// The per-case neighbour tables of the model document for responses that share one search but
// keep their own K, checked against a brute-force neighbour scan over the stored cases.
#include "predict/knn_pmml_prediction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "model/knn_model.h"
#include "support/pmml_fixture.h"
#include "support/search_fixtures.h"

namespace {

using Cells = std::vector<std::string>;

Cells Split(const std::string& text, char separator) {
  Cells cells;
  std::istringstream in(text);
  for (std::string cell; std::getline(in, cell, separator);) cells.push_back(cell);
  return cells;
}

using ScoringTablesTest = knntest::PmmlWriterTest;

// K is chosen per response by cross-validation, with neither selection nor weighting: one
// feature set, so one pass whose neighbour lists each response cuts to its own K.
TEST_F(ScoringTablesTest, OneSearchServesResponsesWithDifferentK) {
  // Fields: 0 id, 1 x1, 2 x2, 3 c (a/b/c), 4 focal, 5 y (a/b), 6 z (continuous), 7 fold.
  // Two loose clusters, so that many cases have neighbours of one category only; the last
  // case is an exact copy of the fourth under another identifier.
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<double>> cases;
  for (int i = 0; i < 30; ++i) {
    const double group = i % 2, x1 = group * 5 + unit(random) * 4.5;
    const double x2 = group * 5 + unit(random) * 4.5, c = std::floor(unit(random) * 3);
    const double y = unit(random) < 0.85 ? group : 1 - group;
    cases.push_back({100.0 + i, x1, x2, c, 0, y, x1 * 7 + x2 * 3 + unit(random), i % 3 * 1.0});
  }
  cases.push_back(cases[3]);
  cases.back()[0] = 130;
  knntest::SettingsDoc d;
  d.Continuous("id", 1, 1000).Continuous("x1", 0, 10).Continuous("x2", 0, 10);
  d.Categorical("c", {"a", "b", "c"}).Categorical("focal", {"0", "1"}, true);
  d.Categorical("y", {"a", "b"}).Continuous("z", 0, 100).Param("TempFileDir", "");
  d.Categorical("fold", {"0", "1", "2"}, true).Param("VFoldVar", "fold").Param("VFoldValue", 3);
  d.Targets({"y", "z"}).Inputs({"x1", "x2", "c"}).Param("CaseIDVar", "id");
  d.Param("FocalVar", "focal").Flag("IsAutoKSelection", true).Param("MinK", 1).Param("MaxK", 6);
  ASSERT_NO_FATAL_FAILURE(Build(d, cases));
  std::string document;
  ASSERT_TRUE(build.Write(document).IsOK());
  const KNNModel& model = *build.Knn()->GetModel();
  ASSERT_TRUE(model.GetResponseCount() == 2 && model.IsSharedModel());
  const size_t KY = static_cast<size_t>(model.GetResponseModel(0)->GetK());
  const size_t KZ = static_cast<size_t>(model.GetResponseModel(1)->GetK());
  EXPECT_NE(KY, KZ) << "the data is chosen so that the two responses end with different K";
  const std::vector<int>& features = model.GetResponseModel(0)->GetFeatures();
  const KNNDataPreparation& data = *build.Knn()->GetDataPreparation();
  // The cells of each row (or of the column names) of model r's neighbour table.
  const auto table = [&](int r, const char* part) {
    std::vector<Cells> rows;
    const std::string path = "/p:PMML/p:NearestNeighborModel[" + std::to_string(r + 1) +
                             "]//p:SimpleTable[@name='neighborsDistances']/p:" + part;
    for (const std::string& line : Split(knntest::SelectCanonical(document, path), '\n')) {
      const size_t open = line.find('>') + 1;
      rows.push_back(Split(line.substr(open, line.rfind("</") - open), ';'));
    }
    return rows;
  };
  double sumSquaredError = 0.0;
  for (int r = 0; r < 2; ++r) {
    const size_t K = r == 0 ? KY : KZ;
    EXPECT_EQ(table(r, "ColumnNames").at(0).size(), 2 + 3 * K);
    const std::vector<Cells> rows = table(r, "Row");
    ASSERT_EQ(rows.size(), 31u);
    // Distances against brute force; a case is never its own neighbour, but its exact copy is
    // one at distance 0. The continuous response's predictions are the means of its first k
    // neighbours, and its error is that of its own K, not of the longer shared search.
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(::testing::Message() << "model " << r << " row " << i + 1);
      const double* query = data.caseRows[i];
      const auto brute = knn_test::BruteForceScan(data, features, std::vector<double>(3, 1.0), true,
                                                  query, -1, -1, 0, false);
      ASSERT_EQ(rows[i].size(), 2 + 3 * K);
      EXPECT_EQ(rows[i][1], std::to_string(static_cast<int>(query[0])));
      double sum = 0.0;
      for (size_t k = 0; k < K; ++k) {
        EXPECT_NEAR(std::stod(rows[i][2 + K + k]), brute[k].distance, 1e-12);
        EXPECT_NE(rows[i][2 + k], rows[i][1]) << "itself listed";
        sum += data.caseRows[static_cast<size_t>(std::stoi(rows[i][2 + k]) - 100)][6];
        if (r == 1) {
          EXPECT_NEAR(std::stod(rows[i][2 + 2 * K + k]), sum / double(k + 1), 1e-9);
        }
      }
      if (r == 1) sumSquaredError += std::pow(std::stod(rows[i].back()) - query[6], 2);
    }
    EXPECT_EQ((Cells{rows[3][2], rows[3][2 + K], rows[30][2], rows[30][2 + K]}),
              (Cells{"130", "0", "103", "0"}));
  }
  EXPECT_NEAR(std::stod(knntest::SelectCanonical(
                  document, "string(/p:PMML/p:NearestNeighborModel[2]//@sumSquaredError)")),
              sumSquaredError, 1e-6 * sumSquaredError);
}

}  // namespace
