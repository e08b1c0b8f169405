// Exact K-nearest-neighbour search over the case store: a KD-tree with one case per leaf,
// rebuilt for every candidate feature set and fold during model selection.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "data/knn_data_preparation.h"
#include "host/vel_status.h"
#include "search/knn_distance.h"

struct KNNNeighbor {
  double distance;
  int32_t caseIndex;  // position in the case store's caseRows
};

// The K nearest cases of the last search, ascending by distance; items holds k + 1 slots.
class KNNNeighborList {
 public:
  explicit KNNNeighborList(int kValue)
      : k(kValue), items(static_cast<size_t>(kValue) + 1, KNNNeighbor{0.0, 0}) {}
  int32_t k;
  int32_t count = 0;
  std::vector<KNNNeighbor> items;
};

class IKNNNearestNeighbor {
 public:
  virtual ~IKNNNearestNeighbor() = default;
  // features: variable indices in column order (sums are accumulated in this order);
  // fold: the held-out fold's code or -1; weights: parallel to features, or null.
  virtual VelCommon::VelStatus Build(const std::vector<int>& features, int fold,
                                     const std::vector<double>* weights) = 0;
  // query: a row in case-store layout. count 0 in the result means no neighbour / failure.
  virtual KNNNeighborList& FindNearest(const double* query, int K, bool includeSelf) = 0;
  virtual void Clear() = 0;
  virtual VelCommon::VelStatus GetStatus() const = 0;
  virtual void DisplayAll() = 0;
};

class KNNKdTree : public IKNNNearestNeighbor {
 public:
  explicit KNNKdTree(KNNDataPreparation& store);
  ~KNNKdTree() override;
  KNNKdTree(const KNNKdTree&) = delete;
  KNNKdTree& operator=(const KNNKdTree&) = delete;

  VelCommon::VelStatus Build(const std::vector<int>& features, int fold,
                             const std::vector<double>* weights) override;
  KNNNeighborList& FindNearest(const double* query, int K, bool includeSelf) override;
  void Clear() override;
  VelCommon::VelStatus GetStatus() const override { return status_; }
  void DisplayAll() override;
  virtual void DisplayStatus(bool showPoints);
  virtual void Display(bool showPoints);
  // Every node, depth first, low child before high child (diagnostics only).
  void Dump();

  // Builds over the cases of one fold alone (those Build(features, fold, ...) leaves out),
  // with whole's features and weights; such a tree answers FindNearestJoined only.
  VelCommon::VelStatus BuildFold(const KNNKdTree& whole, int fold);
  // The answer whole.FindNearest(query, K, false) would give, for a query whose nearest cases
  // outside this tree's fold are known: others, otherCount of them in ascending order, found
  // by a search that LastAnswerExact vouched for (at least K + 1 unless that search found
  // fewer). The rest comes from a search of this fold's cases that starts with their bound.
  // False when it cannot be told this way (near ties, values that could overflow); whole is
  // then to be asked.
  bool FindNearestJoined(const double* query, int K, const int32_t* others, int32_t otherCount,
                         KNNKdTree& whole, KNNNeighborList& list);
  // Whether the last FindNearest's list holds exactly the cases of the smallest sums, in
  // ascending order (the bucketed index answered; the walk may differ by rounding).
  bool LastAnswerExact() const;

  // Announces that the next searches ask for K neighbours: the bucketed index is made now,
  // its leaves sized for K. Otherwise the first search makes it. Only speed depends on it.
  void PlanSearches(int K);
  // order <- positions 0..rows.size()-1 arranged so that queries falling into the same part
  // of the tree come one after another (answers do not depend on the order in which
  // queries are asked; consecutive nearby queries find their data in cache).
  void QueryOrder(const std::vector<const double*>& rows, std::vector<int32_t>& order);

  // Whether the tree in place was built over exactly these features, in this order, with no
  // fold left out.
  bool IsBuiltOver(const std::vector<int>& features) const;
  // The tree's weight of each variable column (1.0 unless a build set it).
  const std::vector<double>& Weights() const { return weights_; }
  int PointCount() const { return pointCount_; }

  // Diagnostics and tests. Searches are answered by a bucketed index and, when its answer
  // could depend on rounding or on the order of equally distant cases, by the canonical
  // one-case-per-leaf walk, whose visiting order decides such ties. ForceCanonicalWalk(true)
  // sends every search to the walk.
  void ForceCanonicalWalk(bool on);
  // Searches answered by the canonical walk since construction.
  long long CanonicalWalkSearches() const;
  // Bytes held by the tree's own arrays (the case rows are the store's and not counted).
  size_t MemoryBytes() const;

 private:
  // Implementation state is private to the search subsystem (see knn_kd_tree.cpp).
  struct Impl;
  VelCommon::VelStatus BuildCases(const std::vector<int>& features, int fold, bool foldOnly,
                                  const std::vector<double>* weights);
  void DisplayPoints();
  void DisplayPoints(const char* heading);  // the points between a heading and an end line
  void DisplayDescription();
  void DisplayTree(const char* nullText);

  KNNDataPreparation& store_;
  std::vector<double> weights_;
  int32_t pointCount_ = 0;
  VelCommon::VelStatus status_;
  std::unique_ptr<KNNNeighborList> neighbours_;
  std::unique_ptr<KNNDistance> metric_;
  std::unique_ptr<Impl> impl_;
};
