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
  PmmlBuild() = default;
  ~PmmlBuild();
  PmmlBuild(const PmmlBuild&) = delete;
  PmmlBuild& operator=(const PmmlBuild&) = delete;

  // Creates the algorithm from settingsXml and builds it over rows (categorical values as
  // category codes). The status of whichever step failed, or of the build.
  VelCommon::VelStatus Build(const std::string& settingsXml,
                             const std::vector<std::vector<double>>& rows);
  // Writes the model document into document (cleared first).
  VelCommon::VelStatus Write(std::string& document, const PMMLExportOptions* options = nullptr);

  IVelAlgorithm* Algorithm() const { return algorithm_.get(); }
  // The component's own algorithm object behind Algorithm(), for tests that read the model.
  KNNAlgorithm* Knn() const;
  // A document writer over the built algorithm's objects, for tests of single elements. Its
  // stop control is Stop().
  std::unique_ptr<KNNPMMLWriter> MakeWriter();
  KNNStopControl& Stop() { return stop_; }

 private:
  std::unique_ptr<IVelFactory> factory_;
  std::unique_ptr<IVelAlgorithm> algorithm_;
  knn_test::MemoryDataSource source_;
  KNNStopControl stop_;
};

// An element as compact text (no line breaks or indentation); takes ownership of element.
std::string CompactText(VelXML::XMLElement* element);

}  // namespace knntest
