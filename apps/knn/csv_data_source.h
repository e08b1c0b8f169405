// A data source over a CSV file. The whole file is read and converted before a build starts,
// because the component's data source interface cannot report a bad cell: every conversion
// error is found first and nothing is built from a file that fails to read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/vel_interfaces.h"
#include "host/vel_record.h"
#include "host/vel_variables.h"

namespace knncli {

enum class LoadOutcome { kOk, kError, kInterrupted };

// Converts one cell for a variable: a continuous field takes a finite number (or an ISO
// text for a date kind), missing tokens give the host missing value; a categorical field
// takes its category code, -1 for an empty or unknown text. False, with the reason, for a
// continuous cell that is neither.
bool ConvertCell(const VelMTD::IVelVariable& variable, std::string_view cell, double& value,
                 std::string& reason);

class CsvDataSource : public IVelDataSource {
 public:
  // absentAreMissing: a field without a column (and without a default or a generated
  // value) reads as missing instead of failing the load; used for files to be scored.
  LoadOutcome Load(const std::string& path, const VelMTD::VelVarList& variables,
                   bool absentAreMissing, std::string& error);
  // As Load, over a text already in memory; name labels the messages.
  LoadOutcome LoadText(std::string_view text, const std::string& name,
                       const VelMTD::VelVarList& variables, bool absentAreMissing,
                       std::string& error);

  int RecordCount() const { return count_; }
  int Width() const { return width_; }
  const double* Row(int index) const {
    return values_.data() + static_cast<size_t>(index) * width_;
  }
  // Fields that had no column and were read as missing (absentAreMissing only).
  const std::vector<std::string>& AbsentFields() const { return absentFields_; }

  bool Rewind() override;
  const VelCommon::Record* NextRecord() override;

 private:
  std::vector<double> values_;  // count_ rows of width_ values, row after row
  std::vector<std::string> absentFields_;
  int width_ = 0;
  int count_ = 0;
  int next_ = 0;
  VelCommon::Record record_;
};

}  // namespace knncli
