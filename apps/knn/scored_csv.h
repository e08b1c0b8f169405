// The layout of the scored CSV: row, status, then per target (categorical targets first)
// neighbour IDs, distances, predictions for k = 1..N, class probabilities and case labels.
#pragma once

#include <string>
#include <vector>

#include "host/vel_status.h"
#include "host/vel_variables.h"

namespace knncli {

struct SettingsInfo;

// A cell as RFC 4180 wants it: quoted when it holds a comma, a quote or a line end.
std::string CsvCell(const std::string& text);

class ScoredCsvLayout {
 public:
  // Takes N (the neighbour count) of every target from one successfully scored record.
  // False, with a reason, when the result does not have the expected shape.
  bool Init(const SettingsInfo& settings, const std::vector<std::vector<double>>& probe,
            std::string& error);
  // Without a scored record there is nothing to size the columns by: only row and status.
  void InitEmpty() { targets_.clear(); }

  std::string Header() const;
  // One line (without the line end). results null, or not shaped like the probe, leaves
  // every cell after status empty.
  std::string Row(long row, long status, const std::vector<std::vector<double>>* results) const;

 private:
  struct Target {
    const VelMTD::IVelVariable* variable = nullptr;  // null without a target
    std::string prefix;
    int categories = 0;  // categorical targets only
    int neighbours = 0;
    size_t resultSize = 0;
  };

  int ColumnsOf(const Target& target) const;
  void AppendTarget(const Target& target, const std::vector<double>& result,
                    std::string& line) const;

  std::vector<Target> targets_;
  const VelMTD::IVelVariable* caseLabel_ = nullptr;
};

}  // namespace knncli
