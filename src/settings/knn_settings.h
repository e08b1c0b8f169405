// Everything the settings document decided, read by every stage of a build.
#pragma once

#include <string>
#include <vector>

#include "host/vel_interfaces.h"

class KNNReporter;

class KNNSettings final {
 public:
  KNNSettings() = default;
  KNNSettings(const KNNSettings&) = delete;
  KNNSettings& operator=(const KNNSettings&) = delete;
  ~KNNSettings();  // deletes reporter

  // Diagnostic dump through VelComponentDisplay.
  virtual void Display();

  IVelProgressListener* progressListener = nullptr;  // not owned
  int RescaleMethod = 0;                             // 0: continuous inputs rescaled to [-1, 1]
  bool IsFeaSelection = false;
  bool IsFeaImportance = false;
  bool IsAutoFeaSelection = false;
  int SpecifiedFeaNum = 0;  // -1 with automatic feature selection
  int FeatureNum = 0;
  std::vector<int> FeatureCategorical;
  std::vector<int> FeatureContinuous;
  std::vector<int> ForcedVariables;
  bool IsFeaWeight = false;
  int DistMetric = 0;          // 0 Euclidean, 1 city block
  int ComputePredValFunc = 0;  // 0 mean, 1 median
  bool IsAutoKSelection = false;
  int SpecifiedK = 3;
  int MinK = 3;
  int MaxK = 5;
  int VFoldValue = 10;
  int VFoldVariable = -1;
  int CaseIDVariable = -1;
  int FocalCaseVariable = -1;
  int FocalCaseValue = 0;
  bool IfSpecifiedFocalCaseVariable = false;
  std::vector<int> ResponseCategorical;
  std::vector<int> ResponseContinuous;
  std::string FileTempDir;
  std::string FileTempName;
  int TotalVarNum = 0;
  double SpecifiedErrRange = 0.01;  // -1.0 with a fixed number of features
  std::vector<int> AllFeatures;     // ascending, without special variables
  std::vector<int> Responses;       // categorical then continuous
  int CaseLabelVariable = -1;
  KNNReporter* reporter = nullptr;  // owned
  std::vector<int> usedVariables;
  std::vector<int> SpecifiedFeatures;
  std::vector<double> SpecifiedFeatureWeights;
  std::string fieldFormat;
  std::string FocalCaseValueText;
};
