// The two metrics. Stateless; a KD-tree owns one, chosen once when it is constructed.
#pragma once

#include "host/vel_status.h"

class KNNDistance {
 public:
  // Contribution of one column: w*d^2 (Euclidean, squared) / w*d (Euclidean, not squared)
  // / w*|d| (city block). 200064 when the square cannot be formed.
  virtual VelCommon::VelStatus ComputeTerm(double diff, double weight, bool squared,
                                           double& term) const = 0;
  // Turns an accumulated sum into a reported distance.
  virtual double FinalDistance(double sum, double factor) const = 0;
  // A coordinate difference scaled into the metric's weighted space.
  virtual double WeightedDifference(double a, double b, double weight) const = 0;
  virtual ~KNNDistance() = default;
};

class KNNEuclideanDis final : public KNNDistance {
 public:
  VelCommon::VelStatus ComputeTerm(double diff, double weight, bool squared,
                                   double& term) const override;
  double FinalDistance(double sum, double factor) const override;
  double WeightedDifference(double a, double b, double weight) const override;
};

class KNNCityblockDis final : public KNNDistance {
 public:
  VelCommon::VelStatus ComputeTerm(double diff, double weight, bool squared,
                                   double& term) const override;
  double FinalDistance(double sum, double factor) const override;
  double WeightedDifference(double a, double b, double weight) const override;
};
