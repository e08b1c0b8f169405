// An RFC 4180 reader over a text held in memory: commas, double-quoted cells with doubled
// quotes (which may span lines), LF, CRLF or CR-only line ends, an optional UTF-8 byte-order
// mark. Lines that are completely empty are skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace knncli {

class CsvReader {
 public:
  explicit CsvReader(std::string_view text);

  // Reads the next record into cells. False at the end of the text or on a malformed
  // record; Error() tells which.
  bool Next(std::vector<std::string>& cells);
  // 1-based line on which the record returned last (or the malformed one) starts.
  long Line() const { return recordLine_; }
  // Empty unless the last Next failed on a malformed record.
  const std::string& Error() const { return error_; }

 private:
  // Consumes one line end at pos_ if there is one.
  bool ConsumeLineEnd();

  std::string_view text_;
  size_t pos_ = 0;
  long line_ = 1;
  long recordLine_ = 0;
  std::string error_;
};

// Reads a whole file; false (with a reason) when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents, std::string& error);

}  // namespace knncli
