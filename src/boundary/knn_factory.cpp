#include <new>

#include "boundary/knn_algorithm.h"
#include "boundary/knn_warning.h"
#include "boundary/status_codes.h"
#include "knn/knn.h"

KNNFactory::KNNFactory() = default;
KNNFactory::KNNFactory(const KNNFactory& other) = default;
KNNFactory::~KNNFactory() = default;
KNNFactory& KNNFactory::operator=(const KNNFactory& other) = default;

IVelAlgorithm* KNNFactory::CreateVelAlgorithm(std::istream& settings) {
  return CreateVelAlgorithm(settings, nullptr);
}

IVelAlgorithm* KNNFactory::CreateVelAlgorithm(std::istream& settings,
                                              VelMTD_NAMESPACE::VelVarList* hostVariables) {
  status_ = VelCommon::VelStatus();
  KNNAlgorithm* algorithm = nullptr;
  try {
    // If construction throws, the new-expression frees the memory and the members already
    // built (the settings reader with its record and list) clean up after themselves.
    algorithm = new KNNAlgorithm(settings, hostVariables);
  } catch (...) {
    status_ = KNNStatus::Error(KNNStatus::kOutOfMemory);
    return nullptr;
  }
  status_ = algorithm->GetStatus();
  if (status_.IsError()) {
    delete algorithm;
    return nullptr;
  }
  return algorithm;
}

VelCommon::VelStatus KNNFactory::GetStatus() const {
  return status_;
}

const std::vector<VelCommon::VelStatus> KNNFactory::GetWarnings() const {
  try {
    return KNNWarning::Instance().List();
  } catch (...) {
    return {};
  }
}

extern "C" KNN_EXPORT IVelFactory* GetVelFactory() {
  return new (std::nothrow) KNNFactory();
}
