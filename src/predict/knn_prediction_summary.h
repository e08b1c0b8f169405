// Predictors of one response: turn a neighbour list into a prediction and keep the error
// bookkeeping (correct classifications and a confusion table, or a sum of squared errors).
#pragma once

#include <cstdint>
#include <vector>

#include "host/vel_status.h"
#include "search/knn_kd_tree.h"

// Stored case rows as the case store hands them out: one pointer per case, each row
// holding one value per variable index.
using KNNCaseRows = std::vector<double*>;
// Confusion counts: row = actual category code, column = predicted code.
using KNNConfusionTable = std::vector<std::vector<int32_t>>;

class KNNPredictionSummary {
 public:
  KNNPredictionSummary() = default;
  KNNPredictionSummary(const KNNPredictionSummary&) = delete;
  KNNPredictionSummary& operator=(const KNNPredictionSummary&) = delete;
  virtual ~KNNPredictionSummary() = default;

  // Prediction with all of list's count neighbours. The vector stays valid until the next
  // prediction of this predictor.
  virtual const std::vector<double>& Predict(const double* query, KNNNeighborList& list) = 0;
  // Predictions for k = 1 .. list.count (plus class probabilities for a categorical
  // response). The list's count is restored before returning.
  virtual const std::vector<double>& PredictEachK(const double* query, KNNNeighborList& list) = 0;
  // The error measure of an accumulator filled by AddError over all stored cases.
  virtual double ErrorValue(double accumulator) const = 0;
  virtual void GetConfusion(KNNConfusionTable& out) const = 0;
  // Adds the error of prediction (its last value) against the query's actual response.
  virtual VelCommon::VelStatus AddError(const double* query, const std::vector<double>& prediction,
                                        double& accumulator) = 0;
  virtual void ResetCounts() = 0;
  virtual void Unused() {}
  // The row column of the response predicted.
  virtual int32_t ResponseColumn() const = 0;
  // For j = 0 .. maxK - minK: adds to accumulators[j] what Predict and AddError add for the
  // prediction with the first min(minK + j, list.count) neighbours, stopping at the first
  // status that is not OK. The list's count is left at the last k used. The default runs
  // one full prediction per k; the overrides give the same numbers from one pass over the
  // list, since every k extends the votes or sums of the previous one.
  virtual VelCommon::VelStatus AddErrorEachK(const double* query, KNNNeighborList& list,
                                             int32_t minK, int32_t maxK, double* accumulators);
};

class KNNCatPredictionSummary : public KNNPredictionSummary {
 public:
  // categoryFrequencies: training count of each category code (kept by reference; null
  // means no categories); rows: the case store's rows (kept by reference).
  KNNCatPredictionSummary(int32_t responseColumn, const std::vector<unsigned>* categoryFrequencies,
                          const KNNCaseRows& rows);

  const std::vector<double>& Predict(const double* query, KNNNeighborList& list) override;
  const std::vector<double>& PredictEachK(const double* query, KNNNeighborList& list) override;
  // Proportion of incorrectly classified cases among all stored cases.
  double ErrorValue(double accumulator) const override;
  void GetConfusion(KNNConfusionTable& out) const override;
  // Adds 1 for a correct classification.
  VelCommon::VelStatus AddError(const double* query, const std::vector<double>& prediction,
                                double& accumulator) override;
  void ResetCounts() override;
  VelCommon::VelStatus AddErrorEachK(const double* query, KNNNeighborList& list, int32_t minK,
                                     int32_t maxK, double* accumulators) override;

  int32_t CategoryCount() const { return ncat_; }
  int32_t ResponseColumn() const override { return responseColumn_; }
  int32_t CaseCount() const { return caseCount_; }
  const KNNConfusionTable& Confusion() const { return confusion_; }

 private:
  // Majority vote over the first k neighbours with the tie rules (larger training count,
  // then lowest code). Leaves the vote counts in votes_.
  int32_t Vote(const KNNNeighborList& list, int32_t k);
  // Winner of the vote counts currently in votes_.
  int32_t Winner();
  void StoreProbabilities(int32_t k);

  KNNConfusionTable confusion_;
  int32_t ncat_;
  int32_t responseColumn_;
  int32_t caseCount_;
  const std::vector<unsigned>* categoryFrequencies_;
  const KNNCaseRows& rows_;
  std::vector<double> prediction_;
  std::vector<int32_t> votes_;    // scratch, ncat entries
  std::vector<int32_t> winners_;  // scratch, at most ncat entries
};

class KNNContPredictionSummary : public KNNPredictionSummary {
 public:
  // useMedian: 0 mean, any other value median.
  KNNContPredictionSummary(int32_t responseColumn, uint32_t useMedian, const KNNCaseRows& rows);

  const std::vector<double>& Predict(const double* query, KNNNeighborList& list) override;
  const std::vector<double>& PredictEachK(const double* query, KNNNeighborList& list) override;
  // The sum of squared errors itself.
  double ErrorValue(double accumulator) const override { return accumulator; }
  void GetConfusion(KNNConfusionTable&) const override {}
  // Adds the squared error; 200059 when the square cannot be formed.
  VelCommon::VelStatus AddError(const double* query, const std::vector<double>& prediction,
                                double& accumulator) override;
  void ResetCounts() override {}
  VelCommon::VelStatus AddErrorEachK(const double* query, KNNNeighborList& list, int32_t minK,
                                     int32_t maxK, double* accumulators) override;

  int32_t ResponseColumn() const override { return responseColumn_; }
  bool UsesMedian() const { return useMedian_ != 0; }

 private:
  double Mean(const KNNNeighborList& list, int32_t k) const;
  double Median(const KNNNeighborList& list, int32_t k);

  int32_t responseColumn_;
  uint32_t useMedian_;
  const KNNCaseRows& rows_;
  std::vector<double> prediction_;
  std::vector<double> values_;  // scratch for the median
};

// A new predictor for one response, owned by the caller. categoryFrequencies is used for a
// categorical response only; totalVarNum is accepted for the record but not needed.
KNNPredictionSummary* CreatePredictionSummary(bool isContinuous, int useMedian,
                                              int32_t responseColumn, int32_t totalVarNum,
                                              const std::vector<unsigned>* categoryFrequencies,
                                              const KNNCaseRows& rows);
