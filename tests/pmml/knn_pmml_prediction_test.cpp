// The per-case scoring tables of the model document, checked against a brute-force
// neighbour scan over the stored cases.
#include "predict/knn_pmml_prediction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "boundary/knn_algorithm.h"
#include "model/knn_model.h"
#include "pmml/knn_pmml_tables.h"
#include "support/pmml_fixture.h"
#include "support/search_fixtures.h"

namespace {

using knntest::SettingsDoc;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> cells;
  std::string cell;
  std::istringstream in(text);
  while (std::getline(in, cell, separator)) cells.push_back(cell);
  if (!text.empty() && text.back() == separator) cells.push_back("");
  return cells;
}

// Texts of the elements xpath selects (one element per line, tags stripped).
std::vector<std::string> Texts(const std::string& document, const std::string& xpath) {
  std::vector<std::string> texts;
  for (const std::string& line : Split(knntest::SelectCanonical(document, xpath), '\n')) {
    const size_t open = line.find('>');
    const size_t close = line.rfind("</");
    if (open == std::string::npos || close == std::string::npos || close < open) continue;
    texts.push_back(line.substr(open + 1, close - open - 1));
  }
  return texts;
}

std::string TablePath(int model, const char* table, const char* part) {
  return "/p:PMML/p:NearestNeighborModel[" + std::to_string(model + 1) +
         "]/p:Extension/p:SimpleTable[@name='" + table + "']/p:" + part;
}

// Fields: 0 id, 1 x1, 2 x2, 3 c (a/b/c), 4 focal, 5 y (a/b), 6 z (continuous).
SettingsDoc ScoringDoc() {
  return SettingsDoc()
      .Continuous("id", 1, 1000)
      .Continuous("x1", 0, 10)
      .Continuous("x2", 0, 10)
      .Categorical("c", {"a", "b", "c"})
      .Categorical("focal", {"0", "1"}, true)
      .Categorical("y", {"a", "b"})
      .Continuous("z", 0, 100)
      .Target("y")
      .Inputs({"x1", "x2", "c"})
      .Param("CaseIDVar", "id")
      .Param("FocalVar", "focal")
      .Param("TempFileDir", "")
      .Param("SpecifiedK", 3);
}

// Two loose clusters, so that many cases have neighbours of one category only.
std::vector<std::vector<double>> ScoringRows(int count) {
  std::mt19937 random(1234);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < count; ++i) {
    const int group = i % 2;
    const double x1 = group * 5.0 + unit(random) * 4.5;
    const double x2 = group * 5.0 + unit(random) * 4.5;
    const double c = static_cast<double>(static_cast<int>(unit(random) * 3.0));
    const double y = unit(random) < 0.85 ? group : 1 - group;
    const double z = x1 * 7.0 + x2 * 3.0 + unit(random);
    rows.push_back({static_cast<double>(100 + i), x1, x2, c, 0, y, z});
  }
  return rows;
}

class ScoringTablesTest : public knntest::PmmlWriterTest {
 protected:
  std::string document;

  void BuildAndWrite(const SettingsDoc& doc, const std::vector<std::vector<double>>& rows) {
    ASSERT_NO_FATAL_FAILURE(Build(doc, rows));
    ASSERT_TRUE(build.Write(document).IsOK());  // also validates the document
  }
  KNNAlgorithm& Knn() { return *build.Knn(); }
  const KNNDataPreparation& Data() { return *Knn().GetDataPreparation(); }

  // Checks model r's neighbour table row by row against a brute-force scan over the
  // model's own features and weights.
  void CheckNeighbours(int r) {
    const KNNSingleResponseModel& model = *Knn().GetModel()->GetResponseModel(r);
    const KNNSettings& settings = *Knn().GetSettings();
    const int K = model.GetK();
    std::vector<double> weights(
        model.GetWeights().begin(),
        model.GetWeights().begin() + static_cast<long>(model.GetFeatures().size()));
    const std::vector<std::string> rows =
        Texts(document, TablePath(r, "neighborsDistances", "Row"));
    ASSERT_EQ(rows.size(), static_cast<size_t>(Data().caseCount));
    for (int i = 0; i < Data().caseCount; ++i) {
      const double* query = Data().caseRows[static_cast<size_t>(i)];
      const auto brute =
          knn_test::BruteForceScan(Data(), model.GetFeatures(), weights, settings.DistMetric == 0,
                                   query, -1, -1, settings.CaseIDVariable, false);
      const std::vector<std::string> cells = Split(rows[static_cast<size_t>(i)], ';');
      ASSERT_GE(cells.size(), static_cast<size_t>(2 + 2 * K)) << rows[static_cast<size_t>(i)];
      EXPECT_EQ(cells[0], std::to_string(i + 1));
      EXPECT_EQ(cells[1], std::to_string(static_cast<int>(query[settings.CaseIDVariable])));
      for (int k = 0; k < K; ++k) {
        const double distance = std::stod(cells[static_cast<size_t>(2 + K + k)]);
        EXPECT_NEAR(distance, brute[static_cast<size_t>(k)].distance, 1e-12) << "row " << i + 1;
        // A neighbour that is not the brute-force one must lie at the same distance (a tie).
        const double* expected =
            Data().caseRows[static_cast<size_t>(brute[static_cast<size_t>(k)].caseIndex)];
        const int listed = std::stoi(cells[static_cast<size_t>(2 + k)]);
        EXPECT_NE(listed, static_cast<int>(query[settings.CaseIDVariable])) << "itself listed";
        if (listed != static_cast<int>(expected[settings.CaseIDVariable])) {
          EXPECT_NEAR(brute[static_cast<size_t>(k)].distance,
                      brute[static_cast<size_t>(k) + 1].distance, 1e-12)
              << "row " << i + 1 << " neighbour " << k + 1;
        }
      }
    }
  }

  // The response (column 5, categories a/b) of the case with identifier text id.
  double Response(const std::string& id, int column = 5) {
    return Data().caseRows[static_cast<size_t>(std::stoi(id) - 100)][column];
  }
};

TEST_F(ScoringTablesTest, OneSearchServesResponsesWithDifferentK) {
  // K chosen per response by cross-validation, neither selection nor weighting: one
  // feature set, so one pass whose neighbour lists each response cuts to its own K.
  std::vector<std::vector<double>> rows = ScoringRows(30);
  SettingsDoc doc = ScoringDoc()
                        .Categorical("fold", {"0", "1", "2"}, true)
                        .Targets({"y", "z"})
                        .Flag("IsAutoKSelection", true)
                        .Param("MinK", 1)
                        .Param("MaxK", 6)
                        .Param("VFoldVar", "fold")
                        .Param("VFoldValue", 3);
  for (size_t i = 0; i < rows.size(); ++i) rows[i].push_back(static_cast<double>(i % 3));
  ASSERT_NO_FATAL_FAILURE(BuildAndWrite(doc, rows));
  const KNNModel& model = *Knn().GetModel();
  ASSERT_EQ(model.GetResponseCount(), 2);
  ASSERT_TRUE(model.IsSharedModel());
  // The data is chosen so that the two responses end with different K.
  EXPECT_NE(model.GetResponseModel(0)->GetK(), model.GetResponseModel(1)->GetK());
  for (int r = 0; r < 2; ++r) {
    const int K = model.GetResponseModel(r)->GetK();
    const std::vector<std::string> header =
        Texts(document, TablePath(r, "neighborsDistances", "ColumnNames"));
    ASSERT_EQ(header.size(), 1u);
    EXPECT_EQ(Split(header[0], ';').size(), static_cast<size_t>(2 + 3 * K)) << header[0];
    CheckNeighbours(r);
  }
  // The continuous response's predictions are the means of its first k neighbours, and its
  // error is that of its own K, not of the longer shared search.
  const int K = model.GetResponseModel(1)->GetK();
  double sumSquaredError = 0.0;
  for (const std::string& row : Texts(document, TablePath(1, "neighborsDistances", "Row"))) {
    const std::vector<std::string> cells = Split(row, ';');
    sumSquaredError += std::pow(std::stod(cells.back()) - Response(cells[1], 6), 2);
    double sum = 0.0;
    for (int k = 0; k < K; ++k) {
      sum += Response(cells[static_cast<size_t>(2 + k)], 6);
      EXPECT_NEAR(std::stod(cells[static_cast<size_t>(2 + 2 * K + k)]), sum / (k + 1), 1e-9) << row;
    }
  }
  EXPECT_NEAR(std::stod(knntest::SelectCanonical(
                  document, "string(/p:PMML/p:NearestNeighborModel[2]//@sumSquaredError)")),
              sumSquaredError, 1e-6 * sumSquaredError);
  EXPECT_EQ(Texts(document, TablePath(1, "predictionProbability", "Row")).size(), 0u);
  // The categorical response's probabilities are the smoothed vote shares of its own K
  // neighbours; a unanimous vote predicts a (code 0) at every k.
  const int KY = model.GetResponseModel(0)->GetK();
  const std::vector<std::string> neighbours =
      Texts(document, TablePath(0, "neighborsDistances", "Row"));
  const std::vector<std::string> probabilities =
      Texts(document, TablePath(0, "predictionProbability", "Row"));
  ASSERT_EQ(probabilities.size(), neighbours.size());
  for (size_t i = 0; i < neighbours.size(); ++i) {
    const std::vector<std::string> cells = Split(neighbours[i], ';');
    int votesForA = 0;
    for (int k = 0; k < KY; ++k) votesForA += Response(cells[static_cast<size_t>(2 + k)]) == 0.0;
    EXPECT_EQ(probabilities[i], std::to_string(i + 1) + ";" +
                                    KNNPMML::NumberText((votesForA + 1.0) / (2.0 + KY)) + ";" +
                                    KNNPMML::NumberText((KY - votesForA + 1.0) / (2.0 + KY)));
    for (int k = 0; votesForA == KY && k < KY; ++k) {
      EXPECT_EQ(cells[static_cast<size_t>(2 + 2 * KY + k)], "0") << neighbours[i];
    }
  }
}

TEST_F(ScoringTablesTest, AnExactDuplicateIsANeighbourAtDistanceZeroButACaseNeverItself) {
  std::vector<std::vector<double>> rows = ScoringRows(10);
  std::vector<double> twin = rows[3];
  twin[0] = 500;  // same values, another identifier
  rows.push_back(twin);
  ASSERT_NO_FATAL_FAILURE(BuildAndWrite(ScoringDoc(), rows));
  const std::vector<std::string> table = Texts(document, TablePath(0, "neighborsDistances", "Row"));
  ASSERT_EQ(table.size(), 11u);
  EXPECT_EQ(table[3].rfind("4;103;500;", 0), 0u) << table[3];
  EXPECT_EQ(table[10].rfind("11;500;103;", 0), 0u) << table[10];
  EXPECT_EQ(Split(table[3], ';')[5], "0");
  EXPECT_EQ(Split(table[10], ';')[5], "0");
}

}  // namespace
