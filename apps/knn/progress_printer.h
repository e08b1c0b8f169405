// Prints one line per reported stage, with the wall-clock time since the run started.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "host/vel_interfaces.h"

namespace knncli {

// The line for one report: "reading cases: 60000", "K selection done"; empty for a stage
// code the host does not know.
std::string StageText(int stageCode, int casesRead);

class ProgressPrinter : public IVelProgressListener {
 public:
  explicit ProgressPrinter(std::FILE* out);
  void Notify(ProgressReport* report) override;

 private:
  std::FILE* out_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace knncli
