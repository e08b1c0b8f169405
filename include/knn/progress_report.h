// Progress reports: the exported report interface and the component's implementation.
#pragma once

#include <string>

#include "knn/export.h"

// What a progress listener may ask of a report while it is notified.
class KNN_EXPORT ProgressReport {
 public:
  ProgressReport();
  ProgressReport(const ProgressReport& other);
  virtual ~ProgressReport();
  ProgressReport& operator=(const ProgressReport& other);

  // "ReportStage" gives the code of the latest stage; a stage name its counter; else -1.
  virtual int DiscreteMeasure(const std::string& name) = 0;
  // "elapsedTime" gives the seconds of the current phase; else the missing value.
  virtual double ScaleMeasure(const std::string& name) = 0;
};

class KNN_EXPORT KNNReporter : public ProgressReport {
 public:
  static constexpr int kStageCount = 12;

  KNNReporter();
  KNNReporter(const KNNReporter& other);
  KNNReporter(KNNReporter&& other) noexcept;
  ~KNNReporter() override;
  KNNReporter& operator=(const KNNReporter& other);
  KNNReporter& operator=(KNNReporter&& other) noexcept;

  int DiscreteMeasure(const std::string& name) override;
  double ScaleMeasure(const std::string& name) override;

  // Times are processor-clock readings in milliseconds.
  void SetStartTime(double time);
  void SetValues(const std::string& name, int value, double time);
  void Reset();

 private:
  int counters_[kStageCount];
  double startTime_;
  double currentTime_;
  int stage_;
};
