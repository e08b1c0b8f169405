// Builds a model through the component's factory from a settings document and in-memory
// records, and writes its model document, for the model-document tests.
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
  // Creates the algorithm from settingsXml and builds it over rows (categorical values as
  // category codes). The status of whichever step failed, or of the build.
  VelCommon::VelStatus Build(const std::string& settingsXml,
                             const std::vector<std::vector<double>>& rows);
  // Writes the model document into document (cleared first); a written document is checked
  // against the PMML schema, a failed write must leave nothing.
  VelCommon::VelStatus Write(std::string& document, const PMMLExportOptions* options = nullptr);

  IVelAlgorithm* Algorithm() const { return algorithm_.get(); }
  // The component's own algorithm object behind Algorithm().
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
