// Status values of the host framework: a numeric code plus a warning flag.
#pragma once

#include <string>
#include <vector>

namespace VelCommon {

class VelStatus {
 public:
  VelStatus() = default;
  // A true flag makes the status a warning; false makes a non-zero code an error.
  VelStatus(long code, bool isWarning) : code_(code), warning_(code != 0 && isWarning) {}

  bool IsOK() const { return code_ == 0; }
  bool IsError() const { return code_ != 0 && !warning_; }
  bool IsWarning() const { return warning_; }
  long GetErrorCode() const { return code_; }

  // Extra integers attached to a status (the component uses index 0 for a variable index).
  void SetDiscreteDatum(unsigned index, long value);
  // The datum at index, or def when none was set.
  long GetDiscreteDatum(unsigned index, long def = -1) const;
  bool HasDiscreteDatum(unsigned index) const;

  // Equal when code and warning flag match; attached data do not take part.
  bool operator==(const VelStatus& other) const {
    return code_ == other.code_ && warning_ == other.warning_;
  }
  bool operator!=(const VelStatus& other) const { return !(*this == other); }

 private:
  long code_ = 0;
  bool warning_ = false;
  std::vector<std::pair<unsigned, long>> data_;
};

// Codes of the host libraries themselves (range 100000-100099).
enum HostStatusCode : long {
  kHostXmlNotWellFormed = 100001,  // datum 0 = line, datum 1 = column
  kHostRootNotSettings = 100002,
  kHostInvalidField = 100003,  // datum 0 = position of the field declaration
  kHostListNotItems = 100004,
  kHostKeyUnreadable = 100005,
  kHostNotParsed = 100006,      // a query before a successful ParseToDOM
  kHostInternalError = 100007,  // the parser ran out of memory or failed unexpectedly
};

// One-line English message for a host status code; empty for codes outside the host range.
std::string HostStatusMessage(long code);

}  // namespace VelCommon
