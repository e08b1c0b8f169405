// Builds a model through the component's factory from a settings document and in-memory
// records, and writes its model document.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "boundary/stop_control.h"
#include "host/vel_interfaces.h"
#include "host/vel_xml.h"
#include "support/search_fixtures.h"

class KNNAlgorithm;
class KNNPMMLWriter;

namespace knntest {

class PmmlBuild {
 public:
  // rows hold categorical values as category codes. The status of whichever step failed.
  VelCommon::VelStatus Build(const std::string& settingsXml,
                             const std::vector<std::vector<double>>& rows);
  // Into document (cleared first); a written document must be valid PMML, a failed write must
  // leave nothing.
  VelCommon::VelStatus Write(std::string& document, const PMMLExportOptions* options = nullptr);

  IVelAlgorithm* Algorithm() const { return algorithm_.get(); }
  KNNAlgorithm* Knn() const;
  // A document writer over the built algorithm's objects, for tests of single elements.
  std::unique_ptr<KNNPMMLWriter> MakeWriter();

 private:
  std::unique_ptr<IVelFactory> factory_;  // declared first: outlives the algorithm
  std::unique_ptr<IVelAlgorithm> algorithm_;
  knn_test::MemoryDataSource source_;
  KNNStopControl stop_;
};

}  // namespace knntest
