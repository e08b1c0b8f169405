// One pass of forward selection evaluated from shared searches: the leave-self-out error of
// base + c for a group of candidates c, with one search per case serving every candidate
// (KNNCandidateSearch) instead of one tree build and one full pass per candidate. The errors
// are exactly those of building the tree for each list and scoring every case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/vel_status.h"
#include "model/knn_single_response_model.h"
#include "predict/knn_prediction_factory.h"
#include "search/knn_kd_tree.h"

// The error a finished scoring pass gives a feature list, with the status that evaluation
// reports: a squared error that cannot be formed is a feature-selection error.
VelCommon::VelStatus KNNPassError(const VelCommon::VelStatus& scored,
                                  const KNNPredictionFactory& factory, double& error);

// Every candidate's answers of a shared pass: K slots per case for each candidate of the
// group, and one count per case. Kept by the caller from pass to pass, so that the next
// pass reuses the memory (tens of megabytes) instead of having it mapped and cleared again.
struct KNNCandidateAnswers {
  std::vector<KNNNeighbor> found;
  std::vector<int32_t> counts;
};

class KNNCandidateEvaluation {
 public:
  KNNCandidateEvaluation(KNNSingleResponseModel& model, KNNPredictionFactory& factory,
                         const std::vector<int>& base, int32_t K, KNNCandidateAnswers& answers);

  // How many of the next `remaining` candidates one shared pass should take: as many as fit
  // the memory budget, 0 when fewer than two do (nothing is then gained).
  size_t GroupSize(size_t remaining) const;

  // Appends the error of base + c for each c of group, in order, and stops at the first
  // candidate whose evaluation fails (its status is returned). applicable is false when the
  // shared search does not apply to these lists; nothing is appended then.
  VelCommon::VelStatus Evaluate(const std::vector<int>& group, std::vector<double>& errors,
                                bool& applicable);

  // Hands the model the answers of the index-th candidate of the last group evaluated (the
  // list base + that candidate), when they fit the pass's memory budget.
  void KeepAnswersOf(size_t index);

 private:
  // Answers of the cases the shared search left to a tree built for base + candidate.
  VelCommon::VelStatus AnswerDeferred(int candidate, KNNNeighbor* found, int32_t* counts);

  KNNSingleResponseModel& model_;
  KNNPredictionFactory& factory_;
  std::vector<int> base_;
  int32_t K_;
  std::vector<KNNNeighbor>& found_;  // per candidate of the group: K slots per case
  std::vector<int32_t>& counts_;     // per candidate of the group: one count per case
  std::vector<int> group_;           // the last group evaluated
};
