// A data source over a CSV file. The whole file is read and converted before a build starts,
// because the component's data source interface cannot report a bad cell: every conversion
// error is found first and nothing is built from a file that fails to read. A small file's
// converted rows are kept from that first pass; a large one is not held in memory at all:
// every Rewind reopens the file and NextRecord converts one record at a time, so the
// component's case store is the only full copy of the data.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
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

class CsvRecordStream;

// How one field gets its value: from a column, or the same value for every record, or the
// record's 1-based number.
struct CsvFieldSource {
  int column = -1;
  bool rowNumber = false;
  double constant = 0.0;
};

class CsvDataSource : public IVelDataSource {
 public:
  // Files whose converted values number at most this are kept in memory after Load.
  static constexpr size_t kDefaultKeptValues = size_t{1} << 22;  // 32 MB
  static constexpr size_t kDefaultReadBlock = size_t{1} << 20;

  CsvDataSource();
  ~CsvDataSource() override;
  CsvDataSource(const CsvDataSource&) = delete;
  CsvDataSource& operator=(const CsvDataSource&) = delete;

  // keptValues: the largest file (in converted values) whose rows Load keeps; readBlock:
  // bytes read from the file at a time. Both only trade memory for speed.
  void SetStreaming(size_t keptValues, size_t readBlock);

  // absentAreMissing: a field without a column (and without a default or a generated
  // value) reads as missing instead of failing the load; used for files to be scored.
  // variables must outlive the source.
  LoadOutcome Load(const std::string& path, const VelMTD::VelVarList& variables,
                   bool absentAreMissing, std::string& error);
  // As Load, over a text already in memory; name labels the messages. The rows are kept.
  LoadOutcome LoadText(std::string_view text, const std::string& name,
                       const VelMTD::VelVarList& variables, bool absentAreMissing,
                       std::string& error);

  int RecordCount() const { return count_; }
  int Width() const { return width_; }
  // True when the rows are in memory; Row may be used only then.
  bool HoldsRows() const { return !streaming_; }
  const double* Row(int index) const {
    return values_.data() + static_cast<size_t>(index) * width_;
  }
  // Fields that had no column and were read as missing (absentAreMissing only).
  const std::vector<std::string>& AbsentFields() const { return absentFields_; }
  // Empty unless a later pass over a streamed file failed (the file could not be reopened,
  // or it changed since Load); the records delivered by that pass are then incomplete.
  const std::string& PassError() const { return passError_; }

  bool Rewind() override;
  const VelCommon::Record* NextRecord() override;

 private:
  // Reads the header and matches the fields to columns.
  LoadOutcome MatchHeader(CsvRecordStream& stream, bool absentAreMissing, std::string& error);
  // Converts one record's cells into values (width_ of them); false with the message.
  bool ConvertRecord(const std::vector<std::string>& cells, long line, int number, double* values,
                     std::string& error) const;
  // The whole first pass over stream. canStream: the rows may be dropped (and the file read
  // again by every pass) when they do not fit; otherwise they are always kept.
  LoadOutcome ReadAll(CsvRecordStream& stream, bool canStream, bool absentAreMissing,
                      std::string& error);

  const VelMTD::VelVarList* variables_ = nullptr;
  std::string name_;
  std::vector<std::string> header_;
  std::vector<CsvFieldSource> sources_;
  std::vector<double> values_;  // count_ rows of width_ values, row after row, unless streaming
  std::vector<std::string> absentFields_;
  int width_ = 0;
  int count_ = 0;
  int next_ = 0;
  bool streaming_ = false;
  size_t keptValues_ = kDefaultKeptValues;
  size_t readBlock_ = kDefaultReadBlock;
  std::unique_ptr<CsvRecordStream> stream_;  // streaming only: the pass in progress
  std::vector<std::string> cells_;
  std::string passError_;
  VelCommon::Record record_;
};

}  // namespace knncli
