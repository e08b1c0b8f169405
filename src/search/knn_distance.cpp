#include "search/knn_distance.h"

#include <cmath>

#include "boundary/status_codes.h"
#include "host/vel_missing.h"

VelCommon::VelStatus KNNEuclideanDis::ComputeTerm(double diff, double weight, bool squared,
                                                  double& term) const {
  if (!squared) {
    term = weight * diff;
    return VelCommon::VelStatus();
  }
  const double square = VelPower::Multiply(diff, diff);
  if (square == VelMV::gMissingValue) {
    term = weight;
    return KNNStatus::Error(KNNStatus::kNoNeighbor);
  }
  term = weight * square;
  return VelCommon::VelStatus();
}

double KNNEuclideanDis::FinalDistance(double sum, double factor) const {
  return std::sqrt(sum) * factor;
}

double KNNEuclideanDis::WeightedDifference(double a, double b, double weight) const {
  return (a - b) * std::sqrt(weight);
}

VelCommon::VelStatus KNNCityblockDis::ComputeTerm(double diff, double weight, bool /*squared*/,
                                                  double& term) const {
  term = weight * std::fabs(diff);
  return VelCommon::VelStatus();
}

double KNNCityblockDis::FinalDistance(double sum, double factor) const {
  return sum * factor;
}

double KNNCityblockDis::WeightedDifference(double a, double b, double weight) const {
  return (a - b) * weight;
}
