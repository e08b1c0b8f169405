#include "csv_data_source.h"

#include <algorithm>
#include <limits>

#include "cell_conversion.h"
#include "csv_reader.h"
#include "host/vel_missing.h"
#include "interrupt_flag.h"

namespace knncli {
namespace {

// How one field gets its value: from a column, or the same value for every record, or the
// record's 1-based number.
struct FieldSource {
  int column = -1;
  bool rowNumber = false;
  double constant = 0.0;
};

double MissingFor(const VelMTD::IVelVariable& variable) {
  return variable.GetMeasureKind() == VelMTD::kContinuous ? VelMV::gMissingValue : -1.0;
}

const char* ExpectedText(int dateKind) {
  switch (dateKind) {
    case VelMTD::kDate:
      return "a date (YYYY-MM-DD)";
    case VelMTD::kTime:
      return "a time (hh:mm:ss)";
    case VelMTD::kDateTime:
      return "a date-time (YYYY-MM-DDThh:mm:ss)";
    default:
      return "a number";
  }
}

constexpr int kInterruptStride = 1024;

}  // namespace

bool ConvertCell(const VelMTD::IVelVariable& variable, std::string_view cell, double& value,
                 std::string& reason) {
  const std::string_view text = TrimBlanks(cell);
  if (variable.GetMeasureKind() != VelMTD::kContinuous) {
    const VelMTD::VelCategories* categories = variable.GetCategories();
    const bool numeric = variable.GetMeasureKind() == VelMTD::kNumericCategorical;
    value = text.empty() || categories == nullptr
                ? -1.0
                : static_cast<double>(categories->FindCode(std::string(text), numeric));
    return true;
  }
  if (IsMissingToken(text)) {
    value = VelMV::gMissingValue;
    return true;
  }
  bool converted = false;
  switch (variable.GetDateKind()) {
    case VelMTD::kDate:
      converted = ParseIsoDate(text, value);
      break;
    case VelMTD::kTime:
      converted = ParseIsoTime(text, value);
      break;
    case VelMTD::kDateTime:
      converted = ParseIsoDateTime(text, value);
      break;
    default:
      break;
  }
  // Date kinds also take the plain number they are held as.
  if (!converted) converted = ParseFiniteNumber(text, value);
  if (!converted) {
    reason = "'" + std::string(cell) + "' is not " + ExpectedText(variable.GetDateKind());
    return false;
  }
  return true;
}

LoadOutcome CsvDataSource::Load(const std::string& path, const VelMTD::VelVarList& variables,
                                bool absentAreMissing, std::string& error) {
  std::string text;
  if (!ReadWholeFile(path, text, error)) return LoadOutcome::kError;
  return LoadText(text, path, variables, absentAreMissing, error);
}

LoadOutcome CsvDataSource::LoadText(std::string_view text, const std::string& name,
                                    const VelMTD::VelVarList& variables, bool absentAreMissing,
                                    std::string& error) {
  values_.clear();
  absentFields_.clear();
  count_ = 0;
  next_ = 0;
  width_ = variables.Size();

  CsvReader reader(text);
  std::vector<std::string> header;
  if (!reader.Next(header)) {
    error = reader.Error().empty()
                ? name + ": the file is empty (a header row is expected)"
                : name + " line " + std::to_string(reader.Line()) + ": " + reader.Error();
    return LoadOutcome::kError;
  }
  for (auto& cell : header) cell = std::string(TrimBlanks(cell));

  std::vector<FieldSource> sources(static_cast<size_t>(width_));
  for (int v = 0; v < width_; ++v) {
    const VelMTD::IVelVariable& variable = *variables.GetVarAt(v);
    FieldSource& source = sources[static_cast<size_t>(v)];
    const auto found = std::find(header.begin(), header.end(), variable.GetName());
    if (found != header.end()) {
      if (std::find(found + 1, header.end(), variable.GetName()) != header.end()) {
        error = name + ": the header names column '" + variable.GetName() + "' twice";
        return LoadOutcome::kError;
      }
      source.column = static_cast<int>(found - header.begin());
    } else if (variable.HasDefault()) {
      std::string reason;
      if (!ConvertCell(variable, variable.GetDefaultText(), source.constant, reason)) {
        error = "the default of field '" + variable.GetName() + "': " + reason;
        return LoadOutcome::kError;
      }
    } else if (variable.IsGeneratedRowNumber()) {
      source.rowNumber = true;
    } else if (absentAreMissing) {
      source.constant = MissingFor(variable);
      absentFields_.push_back(variable.GetName());
    } else {
      error = name + ": no column for the field '" + variable.GetName() +
              "' (declare it with default=\"...\" or generated=\"row-number\" when the data "
              "has none)";
      return LoadOutcome::kError;
    }
  }

  std::vector<std::string> cells;
  std::string reason;
  while (reader.Next(cells)) {
    if (count_ % kInterruptStride == 0 && InterruptRequested()) return LoadOutcome::kInterrupted;
    if (cells.size() != header.size()) {
      error = name + " line " + std::to_string(reader.Line()) + ": " +
              std::to_string(cells.size()) + " cells, but the header has " +
              std::to_string(header.size());
      return LoadOutcome::kError;
    }
    if (count_ == std::numeric_limits<int>::max()) {
      error = name + ": too many records";
      return LoadOutcome::kError;
    }
    for (int v = 0; v < width_; ++v) {
      const FieldSource& source = sources[static_cast<size_t>(v)];
      double value = source.constant;
      if (source.rowNumber) {
        value = static_cast<double>(count_) + 1.0;
      } else if (source.column >= 0) {
        const VelMTD::IVelVariable& variable = *variables.GetVarAt(v);
        if (!ConvertCell(variable, cells[static_cast<size_t>(source.column)], value, reason)) {
          error = name + " line " + std::to_string(reader.Line()) + ", column '" +
                  variable.GetName() + "': " + reason;
          return LoadOutcome::kError;
        }
      }
      values_.push_back(value);
    }
    ++count_;
  }
  if (!reader.Error().empty()) {
    error = name + " line " + std::to_string(reader.Line()) + ": " + reader.Error();
    return LoadOutcome::kError;
  }
  values_.shrink_to_fit();
  return LoadOutcome::kOk;
}

bool CsvDataSource::Rewind() {
  next_ = 0;
  return true;
}

const VelCommon::Record* CsvDataSource::NextRecord() {
  if (next_ >= count_) return nullptr;
  const double* row = Row(next_++);
  record_.Values().assign(row, row + width_);
  return &record_;
}

}  // namespace knncli
