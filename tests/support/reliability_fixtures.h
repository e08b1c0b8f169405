// Fault injection for the reliability tests: data sources that misbehave, an output stream that
// fails after a number of bytes, and the small builds whose every step the tests sweep.
#pragma once

#include <cstddef>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "host/vel_interfaces.h"
#include "host/vel_record.h"
#include "support/cli_process.h"
#include "support/search_fixtures.h"

namespace reltest {

using FaultyDataSource = knn_test::MemoryDataSource;
using ScratchFolder = clitest::TempDir;

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

}  // namespace reltest
