// The per-target summary printed after a build, read back from the written model document:
// K, the selected features and the training error of every NearestNeighborModel.
#pragma once

#include <string>
#include <vector>

namespace knncli {

struct ModelSummary {
  std::string target;  // empty for a model without target
  int k = 0;
  std::vector<std::string> features;
  bool hasError = false;
  bool errorIsRate = false;  // proportion misclassified; else a sum of squared errors
  double error = 0.0;
};

// Streams through the document (its large tables are never held in memory).
bool ReadModelSummaries(const std::string& pmmlPath, std::vector<ModelSummary>& summaries,
                        std::string& error);

// "species: K 5; features petal_length, petal_width; training error 0.04 (proportion
// misclassified)"
std::string FormatSummary(const ModelSummary& summary);

}  // namespace knncli
