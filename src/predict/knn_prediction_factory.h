// Scoring loops over the stored training cases: each case is predicted from its nearest
// other cases and the predictors accumulate their errors.
#pragma once

#include <cstdint>
#include <vector>

#include "boundary/stop_control.h"
#include "host/vel_status.h"
#include "predict/knn_prediction_summary.h"

class KNNSingleResponseModel;
struct KNNFoldAnswers;

class KNNPredictionFactory {
 public:
  // summaries: one predictor per response (not owned); a null entry turns accumulation off.
  // output: call Output for every scored case.
  KNNPredictionFactory(const std::vector<KNNPredictionSummary*>& summaries,
                       KNNStopControl* stopControl, bool output);
  KNNPredictionFactory(const KNNPredictionFactory&) = delete;
  KNNPredictionFactory& operator=(const KNNPredictionFactory&) = delete;
  virtual ~KNNPredictionFactory() = default;

  // One error per present predictor: misclassification rate or sum of squared errors.
  virtual std::vector<double> GetErrors() const;
  virtual VelCommon::VelStatus GetStatus() const { return status_; }
  virtual void Unused() {}
  virtual VelCommon::VelStatus Accumulate(KNNNeighborList& list, const double* row);
  virtual void Reset();
  virtual void Output(KNNNeighborList&, const double*) {}

  // Predicts every case of rows (only the cases of fold when fold is not -1) from its K
  // nearest other cases in model's tree (or from the model's kept answers, when they are
  // that tree's). 1 on a stop request, 200064 when a search finds no neighbour, or the first
  // failed accumulation.
  VelCommon::VelStatus ScoreCases(KNNSingleResponseModel& model, const KNNCaseRows& rows,
                                  int32_t fold, int32_t K);
  // The same pass over every case of rows with the answers found beforehand: case i's
  // counts[i] neighbours at found + i * slots. Same predictions, order and statuses.
  VelCommon::VelStatus ScoreFound(const KNNCaseRows& rows, const KNNNeighbor* found,
                                  const int32_t* counts, size_t slots, int32_t K);

  // While set, ScoreCases keeps every held-out case's answer in into (its K must be the
  // searches' K; its arrays sized for all cases). Null stops it.
  void RecordFoldAnswers(KNNFoldAnswers* into) { recordInto_ = into; }

  // Replaces the predictor list (the accumulators follow its size).
  void SetSummaries(const std::vector<KNNPredictionSummary*>& summaries);
  const std::vector<KNNPredictionSummary*>& Summaries() const { return summaries_; }
  const std::vector<double>& Accumulators() const { return accumulators_; }
  bool AccumulatesErrors() const { return accumulate_; }
  bool WritesOutput() const { return output_; }
  KNNStopControl* StopControl() const { return stopControl_; }

 protected:
  std::vector<KNNPredictionSummary*> summaries_;
  std::vector<int32_t> responseColumns_;  // each summary's, for prefetching
  std::vector<double> accumulators_;
  VelCommon::VelStatus status_;
  bool accumulate_ = true;
  bool output_ = false;
  KNNStopControl* stopControl_;

 private:
  // One case of a scoring loop: its answer predicted, accumulated and written. False when
  // the loop must end at once.
  bool ScoreOne(KNNNeighborList& list, const double* row, int32_t count, const KNNNeighbor* found);

  // ScoreCases's block of searches, reused from block to block.
  std::vector<const double*> blockQueries_;
  std::vector<size_t> blockCases_;
  std::vector<int32_t> blockOrder_;
  std::vector<KNNNeighbor> blockFound_;
  std::vector<int32_t> blockCounts_;
  KNNFoldAnswers* recordInto_ = nullptr;
};

// Evaluates every K from minK to maxK from one maxK-neighbour search per case.
class KNNKSelePredictionFactory : public KNNPredictionFactory {
 public:
  KNNKSelePredictionFactory(const std::vector<KNNPredictionSummary*>& summaries,
                            KNNStopControl* stopControl, int32_t maxK, int32_t minK);

  VelCommon::VelStatus Accumulate(KNNNeighborList& list, const double* row) override;
  void Reset() override;

  // kAccumulators[i][j]: raw accumulator of predictor i with k = minK + j.
  const std::vector<std::vector<double>>& KAccumulators() const { return kAccumulators_; }
  int32_t MaxK() const { return maxK_; }
  int32_t MinK() const { return minK_; }

 private:
  std::vector<std::vector<double>> kAccumulators_;
  int32_t maxK_;
  int32_t minK_;
};
