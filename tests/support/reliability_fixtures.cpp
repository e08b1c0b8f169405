#include "support/reliability_fixtures.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "knn/knn.h"
#include "support/boundary_settings_doc.h"

namespace reltest {

bool ArmedInterruptCheck::IsInterrupted() {
  if (!armed_) return false;
  ++calls_;
  return yesOn_ > 0 && calls_ >= yesOn_;
}

FaultyDataSource::FaultyDataSource(std::vector<std::vector<double>> rows) {
  for (auto& row : rows) records_.emplace_back(std::move(row));
}

bool FaultyDataSource::Rewind() {
  ++rewindCalls;
  next_ = 0;
  return rewindsAllowed < 0 || rewindCalls <= rewindsAllowed;
}

const VelCommon::Record* FaultyDataSource::NextRecord() {
  if (next_ >= static_cast<int>(records_.size())) return nullptr;
  if (stopAfter >= 0 && next_ >= stopAfter) return nullptr;
  if (beforeRecord) beforeRecord(next_);
  ++delivered;
  return &records_[static_cast<size_t>(next_++)];
}

FailingStreamBuf::int_type FailingStreamBuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  if (written_.size() >= limit_) return traits_type::eof();
  written_.push_back(traits_type::to_char_type(c));
  return c;
}

std::streamsize FailingStreamBuf::xsputn(const char* s, std::streamsize n) {
  const size_t room = limit_ - std::min(limit_, written_.size());
  const size_t taken = std::min(room, static_cast<size_t>(n));
  written_.append(s, taken);
  return static_cast<std::streamsize>(taken);
}

namespace {

// Two well-separated classes with some overlap, x1 informative, x2 and c1 weaker, no
// predictor constant, every fold of three non-empty.
std::vector<double> Row(int i) {
  const double yes = i % 2 == 0 ? 0.0 : 1.0;
  const double x1 = yes == 0.0 ? 1.0 + (i * 7 % 10) * 0.3 : 6.0 + (i * 3 % 10) * 0.35;
  const double x2 = (i * 37 % 97) / 9.7;
  const double c1 = i % 3;
  return {static_cast<double>(i + 1), 0.0, x1, x2, c1, yes};
}

}  // namespace

BuildCase SelectionCase(const std::string& tempDir, int rowCount) {
  BuildCase c;
  c.settingsXml = knntest::SettingsDoc::Minimal()
                      .Flag("IsFeatureSelection", true)
                      .Flag("IsAutoFeatureSelection", true)
                      .Flag("IsAutoKSelection", true)
                      .Param("MinK", 1)
                      .Param("MaxK", 4)
                      .Flag("IsFeatureWeight", true)
                      .Param("TempFileDir", tempDir)
                      .Param("fieldFormat", "<Formats/>")
                      .Xml();
  for (int i = 0; i < rowCount; ++i) c.rows.push_back(Row(i));
  return c;
}

BuildCase CrossValidationCase(const std::string& tempDir, int rowCount) {
  BuildCase c;
  c.settingsXml = knntest::SettingsDoc::Minimal()
                      .Continuous("z", -10.0, 10.0)
                      .Categorical("fold", {"0", "1", "2"}, /*numeric=*/true)
                      .Targets({"y", "z"})
                      .Flag("IsAutoKSelection", true)
                      .Param("MinK", 1)
                      .Param("MaxK", 3)
                      .Param("VFoldVar", "fold")
                      .Param("VFoldValue", 3)
                      .Param("ComputePredValFunc", "Median")
                      .Param("TempFileDir", tempDir)
                      .Xml();
  for (int i = 0; i < rowCount; ++i) {
    std::vector<double> row = Row(i);
    row.push_back(row[2] - row[3]);  // z
    row.push_back(i % 3);            // fold
    c.rows.push_back(row);
  }
  return c;
}

std::unique_ptr<IVelAlgorithm> CreateAlgorithm(const std::string& settingsXml) {
  std::unique_ptr<IVelFactory> factory(GetVelFactory());
  std::istringstream settings(settingsXml);
  return std::unique_ptr<IVelAlgorithm>(factory->CreateVelAlgorithm(settings));
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "reliability-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace reltest
