// Arbitrary bytes as a settings document: the factory must answer with an algorithm or a
// status, never crash, throw or leak, and the two answers must agree.
#include <memory>
#include <sstream>
#include <string>

#include "boundary/knn_algorithm.h"
#include "boundary/status_codes.h"
#include "fuzz_entries.h"
#include "knn/knn.h"

namespace knnfuzz {

int FuzzSettingsDocument(const uint8_t* data, size_t size) {
  std::unique_ptr<IVelFactory> factory(GetVelFactory());
  KNN_FUZZ_CHECK(factory != nullptr);
  std::istringstream settings(std::string(reinterpret_cast<const char*>(data), size));
  std::unique_ptr<IVelAlgorithm> algorithm(factory->CreateVelAlgorithm(settings));
  const VelCommon::VelStatus status = factory->GetStatus();
  // An exception inside the factory would surface as code 3; bad settings never should.
  KNN_FUZZ_CHECK(status.GetErrorCode() != KNNStatus::kOutOfMemory);
  KNN_FUZZ_CHECK((algorithm == nullptr) == status.IsError());
  if (algorithm == nullptr) return 0;

  KNN_FUZZ_CHECK(algorithm->GetStatus() == status);
  KNN_FUZZ_CHECK(!algorithm->IsBuilt());
  auto* knn = dynamic_cast<KNNAlgorithm*>(algorithm.get());
  KNN_FUZZ_CHECK(knn != nullptr && knn->GetSettings() != nullptr && knn->GetVarList() != nullptr);
  // Every index the settings hand on must name a variable of the list.
  const KNNSettings& s = *knn->GetSettings();
  const int width = knn->GetVarList()->Size();
  KNN_FUZZ_CHECK(s.TotalVarNum == width);
  for (int index : s.usedVariables) KNN_FUZZ_CHECK(index >= 0 && index < width);
  for (int index : s.AllFeatures) KNN_FUZZ_CHECK(index >= 0 && index < width);
  for (int index : s.Responses) KNN_FUZZ_CHECK(index >= 0 && index < width);
  KNN_FUZZ_CHECK(s.CaseIDVariable >= 0 && s.CaseIDVariable < width);
  KNN_FUZZ_CHECK(s.FocalCaseVariable >= 0 && s.FocalCaseVariable < width);

  // The diagnostic dump walks every setting the reading produced.
  std::ostringstream dump;
  algorithm->Display(dump);
  KNN_FUZZ_CHECK(dump.str().find("KNNAlgorithm display end") != std::string::npos);
  std::ostringstream document;
  KNN_FUZZ_CHECK(algorithm->WritePMML(document, nullptr).GetErrorCode() == KNNStatus::kNotBuilt);
  KNN_FUZZ_CHECK(document.str().empty());
  return 0;
}

}  // namespace knnfuzz
