// Structure-aware: the bytes choose a small valid build (fields, targets, distance, K and
// feature selection, records with repeats and missing values, export options). Whatever the
// build answers, nothing may crash or leak; a built model must score a record and write a
// model document that parses, validates against the PMML 4.3 schema (less the one known
// deviation) and leaves no temporary file behind, and a failed write must write nothing.
#include <stdlib.h>

#include <memory>
#include <string>
#include <vector>

#include "boundary/status_codes.h"
#include "fuzz_bytes.h"
#include "fuzz_entries.h"
#include "host/vel_interfaces.h"
#include "host/vel_missing.h"
#include "support/boundary_settings_doc.h"
#include "support/pmml_build.h"
#include "support/pmml_support.h"

namespace knnfuzz {
namespace {

// Names that XML must escape, a non-ASCII one and a plain one.
const std::vector<std::string> kNames = {"x1",  "a&b", "<w>", "q\"t", "sp ace", "\xC3\xBCn\xC3\xAF",
                                         "x.y", "1n"};
const std::vector<std::string> kCategoryValues = {"a", "b&", "<c>", "d'", "\xC3\xA9"};
const std::string kTextAlphabet = "abcXYZ09 <>&\"';-_.";

struct Column {
  enum Kind { kId, kContinuous, kCategorical, kFocal, kFold, kLabel } kind;
  double low = 0.0;
  double high = 1.0;
  int categories = 0;
};

// The system temporary folder of the process, pointed at a fresh folder so that a file left
// behind is seen. (A folder named in the settings draws its file names from the clock's
// second and waits a second per further file: too slow for fuzzing.)
knntest::ScratchDir& TempFolder() {
  static knntest::ScratchDir folder;
  static const bool pointed = ::setenv("TMPDIR", folder.Path().c_str(), 1) == 0;
  KNN_FUZZ_CHECK(pointed);
  return folder;
}

std::vector<std::string> Values(int count) {
  return {kCategoryValues.begin(), kCategoryValues.begin() + count};
}

}  // namespace

int FuzzModelDocument(const uint8_t* data, size_t size) {
  FuzzBytes in(data, size);
  knntest::SettingsDoc doc;
  std::vector<Column> columns;
  const int rows = in.Range(2, 14);

  doc.Continuous("id", 1, rows);
  columns.push_back({Column::kId});
  const int nameOffset = in.Range(0, static_cast<int>(kNames.size()) - 1);
  const int continuousInputs = in.Range(1, 3);
  const bool categoricalInput = in.Flag();
  std::vector<std::string> inputs;
  for (int i = 0; i < continuousInputs + (categoricalInput ? 1 : 0); ++i) {
    const std::string name = kNames[(static_cast<size_t>(nameOffset + i)) % kNames.size()];
    inputs.push_back(name);
    if (i < continuousInputs) {
      const double low = in.Between(-1000.0, 1000.0);
      const double high = low + in.Between(0.5, 500.0);
      doc.Continuous(name, low, high);
      columns.push_back({Column::kContinuous, low, high});
    } else {
      const int count = in.Range(2, 5);
      doc.Categorical(name, Values(count));
      columns.push_back({Column::kCategorical, 0, 0, count});
    }
  }
  doc.Inputs(inputs);

  const int targets = in.Range(0, 3);  // none, categorical, continuous, both
  if (targets & 1) {
    const int count = in.Range(2, 4);
    doc.Categorical("t", Values(count));
    columns.push_back({Column::kCategorical, 0, 0, count});
    doc.Target("t");
  }
  if (targets & 2) {
    doc.Continuous("r", -5.0, 5.0);
    columns.push_back({Column::kContinuous, -5.0, 5.0});
    doc.Target("r");
  }
  doc.Categorical("focal", {"0", "1"}, true);
  columns.push_back({Column::kFocal, 0, 0, 2});

  doc.Param("CaseIDVar", "id").Param("FocalVar", "focal");
  TempFolder();
  doc.Param("TempFileDir", "");
  doc.Param("DistMetric", in.Flag() ? "Euclidean" : "CityBlock");
  doc.Flag("RescaleMethod", in.Flag());
  if (targets & 2) doc.Param("ComputePredValFunc", in.Flag() ? "Mean" : "Median");
  if (in.Flag()) {
    doc.Categorical("label", Values(3));
    columns.push_back({Column::kLabel, 0, 0, 3});
    doc.Flag("use_caselabels", true).Param("CaseLabelVar", "label");
  }
  if (targets != 0) {
    const bool autoK = in.Flag();
    const bool selection = in.Flag();
    doc.Flag("IsAutoKSelection", autoK).Flag("IsFeatureSelection", selection);
    doc.Flag("IsFeatureWeight", in.Flag());
    const int minK = in.Range(1, 3);
    doc.Param("MinK", minK).Param("MaxK", minK + in.Range(1, 3));
    doc.Param("SpecifiedK", in.Range(1, 5));
    if (selection) {
      const bool automatic = in.Flag();
      doc.Flag("IsAutoFeatureSelection", automatic);
      if (!automatic) doc.Param("NSpecifiedFeatures", 1);
      if (in.Flag()) doc.ParamList("ForcedVariables", {inputs.front()});
    } else if (autoK) {
      const int folds = in.Range(2, 3);
      doc.Categorical("fold", {"0", "1", "2"}, true);
      columns.push_back({Column::kFold, 0, 0, folds});
      doc.Param("VFoldVar", "fold").Param("VFoldValue", folds);
    }
  } else {
    doc.Param("SpecifiedK", in.Range(1, 5));
  }
  if (in.Flag()) doc.Param("fieldFormat", in.Text(kTextAlphabet, 12));

  std::vector<std::vector<double>> records;
  for (int r = 0; r < rows; ++r) {
    std::vector<double> record;
    for (const Column& column : columns) {
      const bool missing = in.Byte() < 6;
      switch (column.kind) {
        case Column::kId:
          record.push_back(r + 1);
          break;
        case Column::kContinuous:
          record.push_back(missing ? VelMV::gMissingValue : in.Between(column.low, column.high));
          break;
        case Column::kCategorical:
          record.push_back(missing ? -1.0 : in.Range(0, column.categories - 1));
          break;
        case Column::kFocal:
          record.push_back(in.Range(0, 7) == 0 ? 1.0 : 0.0);
          break;
        case Column::kFold:
          record.push_back(r % column.categories);
          break;
        case Column::kLabel:
          record.push_back(r % column.categories);
          break;
      }
    }
    records.push_back(std::move(record));
  }

  PMMLExportOptions options;
  options.useUTF8 = in.Flag();
  options.applicationName = in.Text(kTextAlphabet, 8);
  options.applicationVersion = in.Text(kTextAlphabet, 4);
  options.copyrightText = in.Text(kTextAlphabet, 8);

  {
    knntest::PmmlBuild build;
    const VelCommon::VelStatus built = build.Build(doc.Xml(), records);
    KNN_FUZZ_CHECK(built.GetErrorCode() != KNNStatus::kOutOfMemory);
    if (!built.IsError()) {
      KNN_FUZZ_CHECK(build.Algorithm()->IsBuilt());
      VelCommon::Record first(records.front());
      std::vector<std::vector<double>> results;
      const VelCommon::VelStatus scored = build.Algorithm()->ScoreRecord(&first, nullptr, &results);
      KNN_FUZZ_CHECK(scored.GetErrorCode() != KNNStatus::kOutOfMemory);

      std::string document;
      const VelCommon::VelStatus written = build.Write(document, &options);
      KNN_FUZZ_CHECK(written.GetErrorCode() != KNNStatus::kOutOfMemory);
      if (written.IsError()) {
        KNN_FUZZ_CHECK(document.empty());
      } else {
        const std::vector<knntest::SchemaIssue> issues = knntest::UntoleratedIssues(document);
        for (const auto& issue : issues) {
          std::fprintf(stderr, "line %d: %s\n", issue.line, issue.message.c_str());
        }
        KNN_FUZZ_CHECK(issues.empty());
      }
      KNN_FUZZ_CHECK(TempFolder().Entries().empty());
    }
  }
  KNN_FUZZ_CHECK(TempFolder().Entries().empty());
  return 0;
}

}  // namespace knnfuzz
