#include "settings/knn_settings.h"

#include <gtest/gtest.h>

#include "knn/progress_report.h"

// The display dump is covered end to end by the knn --display test in tests/e2e.
namespace {

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
