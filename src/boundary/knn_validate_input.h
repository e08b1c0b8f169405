// Checks that the prepared data can carry the requested model; may lower K.
#pragma once

#include "data/knn_data_preparation.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"
#include "settings/knn_settings.h"

class KNNValidateInput {
 public:
  KNNValidateInput(KNNSettings* settings, VelMTD::VelVarList* variables, KNNDataPreparation* data)
      : settings_(settings), variables_(variables), data_(data) {}
  virtual ~KNNValidateInput() = default;
  virtual VelCommon::VelStatus GetStatus() const { return status_; }
  virtual void Unused() {}

  void Validate(VelCommon::VelStatus& out);

 private:
  void CheckKAgainstCases();

  KNNSettings* settings_;
  VelMTD::VelVarList* variables_;
  KNNDataPreparation* data_;
  VelCommon::VelStatus status_;
};
