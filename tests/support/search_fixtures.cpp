#include "support/search_fixtures.h"

#include <algorithm>
#include <cmath>

namespace knn_test {

MemoryDataSource::MemoryDataSource(const std::vector<std::vector<double>>& rows) {
  for (const auto& row : rows) AddRecord(row);
}

void MemoryDataSource::AddRecord(std::vector<double> values) {
  records_.emplace_back(std::move(values));
}

void MemoryDataSource::ClearRecords() {
  records_.clear();
  next_ = 0;
}

bool MemoryDataSource::Rewind() {
  ++rewindCalls_;
  next_ = 0;
  return rewindOk_;
}

const VelCommon::Record* MemoryDataSource::NextRecord() {
  if (!rewindOk_ || next_ >= records_.size()) return nullptr;
  ++delivered_;
  return &records_[next_++];
}

SearchTable::SearchTable() : settings_(std::make_unique<KNNSettings>()) {}

SearchTable::~SearchTable() = default;

int SearchTable::AddContinuous(const std::string& name, double min, double max) {
  return variables_.Add(std::make_unique<VelMTD::VelContVar>(name, min, max));
}

int SearchTable::AddCategorical(const std::string& name, int categoryCount) {
  VelMTD::VelCategories categories;
  for (int code = 0; code < categoryCount; ++code) {
    categories.Add(std::to_string(code), code, nullptr);
  }
  return variables_.Add(std::make_unique<VelMTD::VelCatVar>(name, true, categories));
}

int SearchTable::AddCaseId(const std::string& name) {
  const int index = AddContinuous(name, 0.0, 1e9);
  settings_->CaseIDVariable = index;
  return index;
}

std::vector<int> SearchTable::DefaultFeatures() const {
  const KNNSettings& s = *settings_;
  std::vector<int> features;
  for (int i = 0; i < variables_.Size(); ++i) {
    const bool special = i == s.CaseIDVariable || i == s.CaseLabelVariable ||
                         i == s.VFoldVariable || i == s.FocalCaseVariable;
    const bool response = std::find(s.ResponseCategorical.begin(), s.ResponseCategorical.end(),
                                    i) != s.ResponseCategorical.end() ||
                          std::find(s.ResponseContinuous.begin(), s.ResponseContinuous.end(), i) !=
                              s.ResponseContinuous.end();
    if (!special && !response) features.push_back(i);
  }
  return features;
}

void SearchTable::FillDefaults() {
  KNNSettings& s = *settings_;
  if (s.TotalVarNum == 0) s.TotalVarNum = variables_.Size();
  if (s.usedVariables.empty()) {
    for (int i = 0; i < variables_.Size(); ++i) s.usedVariables.push_back(i);
  }
  if (s.AllFeatures.empty()) s.AllFeatures = DefaultFeatures();
}

KNNDataPreparation& SearchTable::CreateData() {
  FillDefaults();
  data_.reset();
  data_ =
      std::make_unique<KNNDataPreparation>(settings_.get(), &variables_, &stop_, hostVariables_);
  return *data_;
}

VelCommon::VelStatus SearchTable::Prepare() {
  KNNDataPreparation& data = CreateData();
  VelCommon::VelStatus status;
  return data.Prepare(status, source_);
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
      const bool continuous = data.variableKinds[static_cast<size_t>(c)].second == 1;
      const double d = query[c] - row[c];
      if (!continuous) {
        sum += d != 0.0 ? 2.0 * w : 0.0;
      } else {
        sum += euclidean ? w * d * d : w * std::fabs(d);
      }
    }
    if (!includeSelf && sum == 0.0 && caseIdColumn >= 0 &&
        query[caseIdColumn] == std::trunc(row[caseIdColumn])) {
      continue;
    }
    result.push_back({euclidean ? std::sqrt(sum) : sum, i});
  }
  std::stable_sort(
      result.begin(), result.end(),
      [](const BruteNeighbor& a, const BruteNeighbor& b) { return a.distance < b.distance; });
  return result;
}

}  // namespace knn_test
