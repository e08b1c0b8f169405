#include "settings/knn_settings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "host/vel_display.h"
#include "knn/progress_report.h"

namespace {

// Captures what the display functions write while it lives, then restores the old stream.
class DisplayCapture {
 public:
  DisplayCapture() : previous_(VelComponentDisplay::GetOutStream()) {
    VelComponentDisplay::SetOutStream(&out_);
  }
  ~DisplayCapture() { VelComponentDisplay::SetOutStream(previous_); }
  std::string Text() const { return out_.str(); }

 private:
  std::ostream* previous_;
  std::ostringstream out_;
};

struct Line {
  std::string label;
  std::string value;  // must appear between this label and the next; empty: not checked
};

// Checks that the labels occur in this order and that each value text lies in its label's
// stretch of output, whatever the display's own layout.
void ExpectInOrder(const std::string& text, const std::vector<Line>& lines) {
  size_t position = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t found = text.find(lines[i].label, position);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << lines[i].label;
    position = found + lines[i].label.size();
    if (lines[i].value.empty()) continue;
    const size_t next =
        i + 1 < lines.size() ? text.find(lines[i + 1].label, position) : std::string::npos;
    const std::string stretch = text.substr(position, next - position);
    EXPECT_NE(stretch.find(lines[i].value), std::string::npos)
        << lines[i].label << " should show " << lines[i].value << ", got: " << stretch;
  }
}

TEST(KNNSettingsDisplay, FieldsInOrderWithTheirValues) {
  KNNSettings fresh;
  DisplayCapture freshCapture;
  fresh.Display();
  // clang-format off
  ExpectInOrder(freshCapture.Text(), {
      {"KNNSettings display start", ""}, {"RescaleMethod", "Normalized"},
      {"DistMetric", "Euclidean"}, {"ComputePredValFunc", "Mean"}, {"IsFeaImportance", ""},
      {"IsAutoKSelection", ""}, {"TotalVarNum", "0"}, {"SpecifiedErrRange", "0.01"},
      {"SpecifiedK", "3"}, {"MinK", "3"}, {"MaxK", "5"}, {"VFoldValue", "10"},
      {"VFoldVariable", "-1"}, {"CaseIDVariable", "-1"}, {"Forced variable", ""},
      {"Feature continuous variable", ""}, {"End of KNNSettings display", ""}
  });
  // clang-format on

  KNNSettings changed;
  changed.RescaleMethod = changed.DistMetric = changed.ComputePredValFunc = 1;
  changed.SpecifiedK = 17;
  changed.FileTempDir = "/scratch/knn";
  changed.ForcedVariables = {9, 2};
  changed.FeatureContinuous = {11, 12};
  DisplayCapture capture;
  changed.Display();
  // clang-format off
  ExpectInOrder(capture.Text(), {
      {"RescaleMethod", "Not normalized"}, {"DistMetric", "City block"},
      {"ComputePredValFunc", "Median"}, {"SpecifiedK", "17"}, {"MinK", ""},
      {"FileTempDir", "/scratch/knn"}, {"FileTempName", ""}, {"Forced variable", "9"},
      {"Response categorical variable", ""}, {"Feature continuous variable", "12"},
      {"End of KNNSettings display", ""}
  });
  // clang-format on
}

// Counts its own destruction, to see that the record releases what it owns.
class CountingReporter : public KNNReporter {
 public:
  explicit CountingReporter(int& destroyed) : destroyed_(destroyed) {}
  ~CountingReporter() override { ++destroyed_; }

 private:
  int& destroyed_;
};

TEST(KNNSettingsLifetime, DestroyingTheRecordDestroysItsReporter) {
  int destroyed = 0;
  {
    KNNSettings settings;
    settings.reporter = new CountingReporter(destroyed);
  }
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
