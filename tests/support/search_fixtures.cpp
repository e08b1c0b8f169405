#include "support/search_fixtures.h"

#include <algorithm>
#include <cmath>

namespace knn_test {

bool MemoryDataSource::Rewind() {
  next_ = 0;
  rewound_ = ++rewindCalls <= rewindsAllowed || rewindsAllowed < 0;
  return rewound_;
}

const VelCommon::Record* MemoryDataSource::NextRecord() {
  if (!rewound_ || next_ >= static_cast<int>(records_.size()) ||
      (stopAfter >= 0 && next_ >= stopAfter))
    return nullptr;
  if (beforeRecord) beforeRecord(next_);
  ++delivered;
  return &records_[static_cast<size_t>(next_++)];
}

int SearchTable::AddContinuous(const std::string& name, double min, double max) {
  return variables_.Add(std::make_unique<VelMTD::VelContVar>(name, min, max));
}

int SearchTable::AddCategorical(const std::string& name, int categoryCount) {
  VelMTD::VelCategories categories;
  for (int code = 0; code < categoryCount; ++code)
    categories.Add(std::to_string(code), code, nullptr);
  return variables_.Add(std::make_unique<VelMTD::VelCatVar>(name, true, categories));
}

int SearchTable::AddCaseId(const std::string& name) {
  return settings_->CaseIDVariable = AddContinuous(name, 0.0, 1e9);
}

KNNDataPreparation& SearchTable::CreateData() {
  KNNSettings& s = *settings_;
  const auto has = [](const std::vector<int>& list, int i) {
    return std::find(list.begin(), list.end(), i) != list.end();
  };
  if (s.TotalVarNum == 0) s.TotalVarNum = variables_.Size();
  const bool allUsed = s.usedVariables.empty(), allFeatures = s.AllFeatures.empty();
  for (int i = 0; i < variables_.Size(); ++i) {
    if (allUsed) s.usedVariables.push_back(i);
    const bool special = i == s.CaseIDVariable || i == s.CaseLabelVariable ||
                         i == s.VFoldVariable || i == s.FocalCaseVariable;
    if (allFeatures && !special && !has(s.ResponseCategorical, i) && !has(s.ResponseContinuous, i))
      s.AllFeatures.push_back(i);
  }
  data_.reset();
  data_ =
      std::make_unique<KNNDataPreparation>(settings_.get(), &variables_, &stop_, hostVariables_);
  return *data_;
}

std::vector<BruteNeighbor> BruteForceScan(const KNNDataPreparation& data,
                                          const std::vector<int>& features,
                                          const std::vector<double>& weights, bool euclidean,
                                          const double* query, int foldColumn, int fold,
                                          int caseIdColumn, bool includeSelf) {
  std::vector<BruteNeighbor> result;
  for (int i = 0; i < data.caseCount; ++i) {
    const double* row = data.caseRows[static_cast<size_t>(i)];
    if (foldColumn != -1 && fold != -1 &&
        std::fabs(row[foldColumn] - fold) <= 2.220446049250313e-16)
      continue;
    double sum = 0.0;
    for (size_t j = 0; j < features.size(); ++j) {
      const int c = features[j];
      const double w = weights.empty() ? 1.0 : weights[j];
      const double d = query[c] - row[c];
      if (data.variableKinds[static_cast<size_t>(c)].second != 1) {
        sum += d != 0.0 ? 2.0 * w : 0.0;
      } else {
        sum += euclidean ? w * d * d : w * std::fabs(d);
      }
    }
    if (!includeSelf && sum == 0.0 && caseIdColumn >= 0 &&
        query[caseIdColumn] == std::trunc(row[caseIdColumn]))
      continue;
    result.push_back({euclidean ? std::sqrt(sum) : sum, i});
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const auto& a, const auto& b) { return a.distance < b.distance; });
  return result;
}

}  // namespace knn_test
