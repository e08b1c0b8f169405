// Fault injection for the reliability tests: an output stream that fails after a number of
// bytes, and the small builds whose every step the tests sweep.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "host/vel_interfaces.h"
#include "support/cli_process.h"
#include "support/search_fixtures.h"

namespace reltest {

using FaultyDataSource = knn_test::MemoryDataSource;
using ScratchFolder = clitest::TempDir;

// Takes limit bytes and fails every write after them.
class FailingStreamBuf : public std::streambuf {
 public:
  explicit FailingStreamBuf(size_t limit) : limit_(limit) {}
  // So that later writes up to n bytes allocate nothing.
  void Reserve(size_t n) { written_.reserve(n); }
  const std::string& Written() const { return written_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (written_.size() >= limit_) return traits_type::eof();
    written_.push_back(traits_type::to_char_type(c));
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    const size_t taken = std::min(limit_ - std::min(limit_, written_.size()), size_t(n));
    written_.append(s, taken);
    return static_cast<std::streamsize>(taken);
  }

 private:
  size_t limit_;
  std::string written_;
};

// rows: id, focal, x1, x2, c1, y (category codes), as SettingsDoc::Minimal declares them.
struct BuildCase {
  std::string settingsXml;
  std::vector<std::vector<double>> rows;
};

// Classification passing every selection stage (combined K and feature selection, feature
// weighting); tempDir is a folder path ending in '/' or a plain prefix.
BuildCase SelectionCase(const std::string& tempDir, int rowCount = 12);
// Two targets (categorical y, continuous z) with K chosen by 3-fold cross-validation.
BuildCase CrossValidationCase(const std::string& tempDir, int rowCount = 12);

// Null when the factory rejects settingsXml.
std::unique_ptr<IVelAlgorithm> CreateAlgorithm(const std::string& settingsXml);

}  // namespace reltest
