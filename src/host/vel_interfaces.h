// The interfaces between a host application and an algorithm component: the factory and
// algorithm the component implements, and the callbacks the host implements.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "host/vel_record.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"

class ProgressReport;  // exported by the component (knn/progress_report.h)

// Delivers the training records, one value per variable in variable-list order.
class IVelDataSource {
 public:
  virtual ~IVelDataSource() = default;
  // Positions the source before its first record; false when it cannot deliver records.
  virtual bool Rewind() = 0;
  // The next record, or null after the last. Valid until the next call.
  virtual const VelCommon::Record* NextRecord() = 0;
};

class IVelProgressListener {
 public:
  virtual ~IVelProgressListener() = default;
  // Called at each report point; report is read during the call only.
  virtual void Notify(ProgressReport* report) = 0;
};

class IVelInterruptCheck {
 public:
  virtual ~IVelInterruptCheck() = default;
  virtual bool IsInterrupted() = 0;
};

// Options of one model-document write.
struct PMMLExportOptions {
  bool useUTF8 = false;
  std::string applicationName;     // empty: the component's default
  std::string applicationVersion;  // empty: no version attribute
  std::string copyrightText;       // empty: the component's default notice
};

class IVelAlgorithm {
 public:
  virtual ~IVelAlgorithm() = default;
  virtual VelCommon::VelStatus Build(IVelDataSource& source) = 0;
  virtual bool IsBuilt() const = 0;
  // One inner vector per target (one in all without a target); the second argument is
  // not used.
  virtual VelCommon::VelStatus ScoreRecord(const VelCommon::Record* record, void* unused,
                                           std::vector<std::vector<double>>* results) = 0;
  virtual VelCommon::VelStatus WritePMML(std::ostream& out, const PMMLExportOptions* options) = 0;
  virtual VelCommon::VelStatus GetStatus() const = 0;
  virtual void SetProgressListener(IVelProgressListener* listener) = 0;
  virtual void SetInterruptCheck(IVelInterruptCheck* check) = 0;
  // Safe to call from another thread while Build or WritePMML runs.
  virtual void Interrupt() = 0;
  virtual std::string GetVersion() const = 0;
  virtual const std::vector<VelCommon::VelStatus>* GetWarnings() const = 0;
  virtual void Display(std::ostream& out) = 0;
};

class IVelFactory {
 public:
  virtual ~IVelFactory() = default;
  // Null on error; GetStatus tells why.
  virtual IVelAlgorithm* CreateVelAlgorithm(std::istream& settings) = 0;
  virtual VelCommon::VelStatus GetStatus() const = 0;
};

// The one symbol a host looks up after dlopen.
extern "C" {
typedef IVelFactory* (*GetVelFactoryFunction)();
}
