#include "settings/knn_settings.h"

#include "host/vel_display.h"
#include "knn/progress_report.h"

KNNSettings::~KNNSettings() {
  delete reporter;
}

void KNNSettings::Display() {
  using D = VelComponentDisplay;
  D::DisplayText("KNNSettings display start", 1);
  D::DisplayS("RescaleMethod", RescaleMethod == 0 ? "Normalized" : "Not normalized");
  D::DisplayS("DistMetric", DistMetric == 0 ? "Euclidean" : "City block");
  D::DisplayS("ComputePredValFunc", ComputePredValFunc == 0 ? "Mean" : "Median");
  D::DisplayB("IsFeaImportance", IsFeaImportance);
  D::DisplayB("IsFeaSelection", IsFeaSelection);
  D::DisplayB("IsAutoFeaSelection", IsAutoFeaSelection);
  D::DisplayB("IsFeaWeight", IsFeaWeight);
  D::DisplayB("IsAutoKSelection", IsAutoKSelection);
  D::DisplayB("IfSpecifiedFocalCaseVariable", IfSpecifiedFocalCaseVariable);
  D::DisplayI("TotalVarNum", TotalVarNum);
  D::DisplayI("FeatureNum", FeatureNum);
  D::DisplayI("SpecifiedFeaNum", SpecifiedFeaNum);
  D::DisplayD("SpecifiedErrRange", SpecifiedErrRange);
  D::DisplayI("SpecifiedK", SpecifiedK);
  D::DisplayI("MinK", MinK);
  D::DisplayI("MaxK", MaxK);
  D::DisplayI("VFoldValue", VFoldValue);
  D::DisplayI("VFoldVariable", VFoldVariable);
  D::DisplayI("FocalCaseValue", FocalCaseValue);
  D::DisplayI("FocalCaseVariable", FocalCaseVariable);
  D::DisplayI("CaseIDVariable", CaseIDVariable);
  D::DisplayS("FileTempDir", FileTempDir);
  D::DisplayS("FileTempName", FileTempName);
  D::DisplayIV("Forced variable", ForcedVariables);
  D::DisplayIV("Response categorical variable", ResponseCategorical);
  D::DisplayIV("Response continuous variable", ResponseContinuous);
  D::DisplayIV("Feature categorical variable", FeatureCategorical);
  D::DisplayIV("Feature continuous variable", FeatureContinuous);
  D::DisplayText("End of KNNSettings display", 1);
  D::DisplayText("", 1);
}
