// Per-variable conversion of record values into stored case values.
#pragma once

#include <vector>

#include "host/vel_record.h"
#include "host/vel_status.h"
#include "host/vel_variables.h"
#include "settings/knn_settings.h"

class IKNNVariable {
 public:
  IKNNVariable(KNNSettings* settings, VelMTD::VelVarList* variables)
      : settings_(settings), variables_(variables) {}
  virtual ~IKNNVariable() = default;

  // Appends exactly one double for this variable to store; out is OK, or 3 when out of memory.
  virtual void AppendValue(VelCommon::VelStatus& out, const VelCommon::Record& record,
                           std::vector<double>& store) = 0;
  // Writes this variable's value into row[index]; false when the value cannot be used.
  virtual bool FillCase(const VelCommon::Record& record, std::vector<double>& row) = 0;
  // Per-category counts of stored cases; null for a continuous variable.
  virtual std::vector<unsigned>* GetCategoryCounts() = 0;
  virtual void SetUsed(bool used) = 0;
  virtual bool IsMissing(const VelCommon::Record& record) = 0;
  virtual bool IsConstant() = 0;
  virtual void Unused() {}

 protected:
  KNNSettings* settings_;
  VelMTD::VelVarList* variables_;
};

class KNNCatVariable : public IKNNVariable {
 public:
  KNNCatVariable(KNNSettings* settings, VelMTD::VelVarList* variables, int index);

  void AppendValue(VelCommon::VelStatus& out, const VelCommon::Record& record,
                   std::vector<double>& store) override;
  bool FillCase(const VelCommon::Record& record, std::vector<double>& row) override;
  std::vector<unsigned>* GetCategoryCounts() override { return &counts; }
  void SetUsed(bool flag) override { used = flag; }
  bool IsMissing(const VelCommon::Record& record) override;
  bool IsConstant() override { return constant; }

  std::vector<unsigned> counts;
  int categoryCount;
  int index;
  bool constant = true;
  bool used = false;
  int firstValue = -1;
  bool isCaseLabel;
  VelCommon::VelStatus status;
};

class KNNContVariable : public IKNNVariable {
 public:
  KNNContVariable(KNNSettings* settings, VelMTD::VelVarList* variables, int index);

  void AppendValue(VelCommon::VelStatus& out, const VelCommon::Record& record,
                   std::vector<double>& store) override;
  bool FillCase(const VelCommon::Record& record, std::vector<double>& row) override;
  std::vector<unsigned>* GetCategoryCounts() override { return nullptr; }
  void SetUsed(bool flag) override { used = flag; }
  bool IsMissing(const VelCommon::Record& record) override;
  bool IsConstant() override { return constant; }

  double min;
  double max;
  int index;
  bool rescale;
  bool constant = true;
  bool used = false;
  double firstValue;
  VelCommon::VelStatus status;
};
