#include "support/pmml_build.h"

#include <gtest/gtest.h>

#include <sstream>

#include "boundary/knn_algorithm.h"
#include "knn/knn.h"
#include "pmml/knn_pmml_writer.h"
#include "support/pmml_support.h"

namespace knntest {

PmmlBuild::~PmmlBuild() {
  algorithm_.reset();
  factory_.reset();
}

VelCommon::VelStatus PmmlBuild::Build(const std::string& settingsXml,
                                      const std::vector<std::vector<double>>& rows) {
  factory_.reset(GetVelFactory());
  std::istringstream settings(settingsXml);
  algorithm_.reset(factory_->CreateVelAlgorithm(settings));
  if (!algorithm_) return factory_->GetStatus();
  source_.ClearRecords();
  for (const auto& row : rows) source_.AddRecord(row);
  return algorithm_->Build(source_);
}

KNNAlgorithm* PmmlBuild::Knn() const {
  return dynamic_cast<KNNAlgorithm*>(algorithm_.get());
}

std::unique_ptr<KNNPMMLWriter> PmmlBuild::MakeWriter() {
  KNNAlgorithm* knn = Knn();
  if (knn == nullptr || knn->GetModel() == nullptr) return nullptr;
  auto writer = std::make_unique<KNNPMMLWriter>(
      *knn->GetSettings(), *knn->GetVarList(), *knn->GetModel(), *knn->GetDataPreparation(), stop_);
  writer->root.reset(VelXML::XMLElement::Create("PMML"));
  return writer;
}

std::string CompactText(VelXML::XMLElement* element) {
  std::unique_ptr<VelXML::XMLElement> owned(element);
  if (!owned) return "<null>";
  VelXML::ExportFormat format;
  format.SetCompact(true);
  std::string text;
  owned->AppendTo(text, format);
  return text;
}

VelCommon::VelStatus PmmlBuild::Write(std::string& document, const PMMLExportOptions* options) {
  document.clear();
  if (!algorithm_) return VelCommon::VelStatus(6, false);
  std::ostringstream out;
  const VelCommon::VelStatus status = algorithm_->WritePMML(out, options);
  document = out.str();
  // Every document a test writes is checked against the PMML schema.
  if (status.IsOK()) {
    std::string issues;
    for (const SchemaIssue& issue : UntoleratedIssues(document)) {
      issues += std::to_string(issue.line) + ": " + issue.message + "\n";
    }
    EXPECT_EQ(issues, "") << "the written document is not valid PMML";
  } else {
    EXPECT_EQ(document, "") << "a failed write must leave the stream empty";
  }
  return status;
}

}  // namespace knntest
