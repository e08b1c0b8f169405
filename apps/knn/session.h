// The steps that build, score and demo share: load the component, create the algorithm
// from a settings file, read the training file, build, and report statuses and warnings.
// Every step returns an exit code; kExitOk means "go on".
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "atomic_output_file.h"
#include "command_line.h"
#include "component_loader.h"
#include "csv_data_source.h"
#include "host/vel_interfaces.h"
#include "interrupt_flag.h"
#include "progress_printer.h"
#include "settings_info.h"

namespace knncli {

class Session {
 public:
  explicit Session(bool quiet);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  int Open(const std::string& settingsPath);
  int BuildFrom(const std::string& trainPath);
  // Output files are opened before the work starts, so a folder that cannot take them
  // fails at once; OpenOutput prints the reason.
  static int OpenOutput(AtomicOutputFile& file, const std::string& path);
  // Writes the model document into file (committed to path) and prints the summary.
  int WriteModel(AtomicOutputFile& file, const std::string& path, bool utf8);
  // Scores newPath into file, or to standard output when file is null.
  int WriteScores(const std::string& newPath, AtomicOutputFile* file);
  int WriteDisplay(AtomicOutputFile& file);

  // Prints an error status ("knn: 200042: ...") and returns its exit code.
  int Fail(const VelCommon::VelStatus& status);
  void PrintWarnings();

 private:
  void CollectWarnings();
  // Reads path into source (absentAreMissing: columns the file lacks are missing values, as
  // for new records); prints the reason and returns the exit code when that fails, else
  // kExitOk.
  int Load(CsvDataSource& source, const std::string& path, bool absentAreMissing);
  // Scores one record; the probe that sizes the scored CSV's columns uses it too.
  VelCommon::VelStatus Score(const VelCommon::Record& record,
                             std::vector<std::vector<double>>& results);

  ComponentLibrary library_;
  std::unique_ptr<IVelFactory> factory_;
  std::unique_ptr<IVelAlgorithm> algorithm_;
  SettingsInfo settings_;
  bool settingsKnown_ = false;
  CsvDataSource train_;
  InterruptCheck interruptCheck_;
  std::unique_ptr<ProgressPrinter> progress_;
  std::vector<VelCommon::VelStatus> warnings_;
  size_t warningsPrinted_ = 0;
};

// "knn: message" on standard error.
void PrintError(const std::string& message);

}  // namespace knncli
