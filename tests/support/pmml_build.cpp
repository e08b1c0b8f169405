#include "support/pmml_build.h"

#include <gtest/gtest.h>

#include <sstream>

#include "boundary/knn_algorithm.h"
#include "knn/knn.h"
#include "pmml/knn_pmml_writer.h"
#include "support/pmml_support.h"

namespace knntest {

VelCommon::VelStatus PmmlBuild::Build(const std::string& settingsXml,
                                      const std::vector<std::vector<double>>& rows) {
  algorithm_.reset();
  factory_.reset(GetVelFactory());
  std::istringstream settings(settingsXml);
  algorithm_.reset(factory_->CreateVelAlgorithm(settings));
  if (!algorithm_) return factory_->GetStatus();
  source_ = knn_test::MemoryDataSource(rows);
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

VelCommon::VelStatus PmmlBuild::Write(std::string& document, const PMMLExportOptions* options) {
  document.clear();
  if (!algorithm_) return VelCommon::VelStatus(6, false);
  std::ostringstream out;
  const VelCommon::VelStatus status = algorithm_->WritePMML(out, options);
  document = out.str();
  if (!status.IsOK()) {
    EXPECT_EQ(document, "") << "a failed write must leave the stream empty";
    return status;
  }
  std::string issues;
  for (const SchemaIssue& issue : UntoleratedIssues(document)) {
    issues += std::to_string(issue.line) + ": " + issue.message + "\n";
  }
  EXPECT_EQ(issues, "") << "the written document is not valid PMML";
  return status;
}

}  // namespace knntest
