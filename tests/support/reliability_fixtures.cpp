#include "support/reliability_fixtures.h"

#include <sstream>

#include "knn/knn.h"
#include "support/boundary_settings_doc.h"

namespace reltest {

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
  knntest::SettingsDoc doc = knntest::SettingsDoc::Minimal();
  doc.Flag("IsFeatureSelection", true).Flag("IsAutoFeatureSelection", true);
  doc.Flag("IsAutoKSelection", true).Param("MinK", 1).Param("MaxK", 4);
  doc.Flag("IsFeatureWeight", true).Param("TempFileDir", tempDir);
  doc.Param("fieldFormat", "<Formats/>");
  BuildCase c{doc.Xml(), {}};
  for (int i = 0; i < rowCount; ++i) c.rows.push_back(Row(i));
  return c;
}

BuildCase CrossValidationCase(const std::string& tempDir, int rowCount) {
  knntest::SettingsDoc doc = knntest::SettingsDoc::Minimal();
  doc.Continuous("z", -10.0, 10.0).Categorical("fold", {"0", "1", "2"}, true).Targets({"y", "z"});
  doc.Flag("IsAutoKSelection", true).Param("MinK", 1).Param("MaxK", 3).Param("VFoldVar", "fold");
  doc.Param("VFoldValue", 3).Param("ComputePredValFunc", "Median").Param("TempFileDir", tempDir);
  BuildCase c{doc.Xml(), {}};
  for (int i = 0; i < rowCount; ++i) {
    c.rows.push_back(Row(i));
    c.rows.back().push_back(c.rows.back()[2] - c.rows.back()[3]);  // z
    c.rows.back().push_back(i % 3);                                // fold
  }
  return c;
}

std::unique_ptr<IVelAlgorithm> CreateAlgorithm(const std::string& settingsXml) {
  std::unique_ptr<IVelFactory> factory(GetVelFactory());
  std::istringstream settings(settingsXml);
  return std::unique_ptr<IVelAlgorithm>(factory->CreateVelAlgorithm(settings));
}

}  // namespace reltest
