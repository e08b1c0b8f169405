// Fault injection for the reliability tests: interrupt checks that answer yes on a chosen
// call, data sources that misbehave, an output stream that fails after a number of bytes,
// and the small builds whose every step the tests sweep.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "host/vel_interfaces.h"
#include "host/vel_record.h"

namespace reltest {

// Answers no and counts nothing until armed; once armed, counts its calls and answers yes
// on the yesOn-th one (and on every later one). yesOn 0 never answers yes, so an armed check
// with 0 measures how often an operation asks.
class ArmedInterruptCheck : public IVelInterruptCheck {
 public:
  explicit ArmedInterruptCheck(long yesOn = 0, bool armed = true) : yesOn_(yesOn), armed_(armed) {}
  void Arm() { armed_ = true; }
  bool IsInterrupted() override;
  long Calls() const { return calls_; }

 private:
  long yesOn_;
  bool armed_;
  long calls_ = 0;
};

// A data source over fixed records that can refuse a Rewind, stop early or hand out a record
// of the wrong width.
class FaultyDataSource : public IVelDataSource {
 public:
  explicit FaultyDataSource(std::vector<std::vector<double>> rows);

  // The rewindsAllowed-th and later Rewind calls answer false (-1: never).
  int rewindsAllowed = -1;
  // NextRecord answers null after this many records of a pass (-1: all of them).
  int stopAfter = -1;
  // Called with the 0-based position before a record is handed out.
  std::function<void(int)> beforeRecord;

  bool Rewind() override;
  const VelCommon::Record* NextRecord() override;

  int rewindCalls = 0;
  int delivered = 0;

 private:
  std::vector<VelCommon::Record> records_;
  int next_ = 0;
};

// A stream buffer that takes limit bytes and fails every write after them.
class FailingStreamBuf : public std::streambuf {
 public:
  explicit FailingStreamBuf(size_t limit) : limit_(limit) {}
  // Room for n bytes taken now, so that later writes up to n allocate nothing.
  void Reserve(size_t n) { written_.reserve(n); }
  const std::string& Written() const { return written_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  size_t limit_;
  std::string written_;
};

// A settings document and its records. rows: id, focal, x1, x2, c1, y (codes for the
// categorical fields), as SettingsDoc::Minimal declares them.
struct BuildCase {
  std::string settingsXml;
  std::vector<std::vector<double>> rows;
};

// Classification with combined K and feature selection and feature weighting, so that a
// build passes every selection stage; temporary files go into tempDir (a folder path ending
// in '/', or a plain prefix).
BuildCase SelectionCase(const std::string& tempDir, int rowCount = 12);
// Two targets (categorical y, continuous z) with K chosen by 3-fold cross-validation.
BuildCase CrossValidationCase(const std::string& tempDir, int rowCount = 12);

// The algorithm made by the component's factory from settingsXml; null when rejected.
std::unique_ptr<IVelAlgorithm> CreateAlgorithm(const std::string& settingsXml);

// Names in a folder, sorted; empty when the folder does not exist.
std::vector<std::string> FolderEntries(const std::string& path);

// A fresh folder under the system temporary folder, removed with its content at the end.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::vector<std::string> Entries() const { return FolderEntries(path_); }

 private:
  std::string path_;
};

}  // namespace reltest
