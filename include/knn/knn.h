// The component's entry point and factory.
#pragma once

#include <istream>
#include <vector>

#include "host/vel_interfaces.h"
#include "knn/export.h"
#include "knn/progress_report.h"

// Turns a settings document into a ready algorithm.
class KNN_EXPORT KNNFactory : public IVelFactory {
 public:
  KNNFactory();
  KNNFactory(const KNNFactory& other);
  ~KNNFactory() override;
  KNNFactory& operator=(const KNNFactory& other);

  // The caller owns the result; null when the settings were rejected (see GetStatus).
  IVelAlgorithm* CreateVelAlgorithm(std::istream& settings) override;
  // hostVariables (kept, not owned) supplies the case label categories at build time.
  IVelAlgorithm* CreateVelAlgorithm(std::istream& settings,
                                    VelMTD_NAMESPACE::VelVarList* hostVariables);
  VelCommon::VelStatus GetStatus() const override;
  // A copy of the process-wide warning list.
  const std::vector<VelCommon::VelStatus> GetWarnings() const;

 private:
  VelCommon::VelStatus status_;
};

// The caller owns the factory and destroys it through its virtual destructor.
extern "C" KNN_EXPORT IVelFactory* GetVelFactory();
