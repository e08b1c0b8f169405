// The component's status catalogue. Every code is an error unless named as a warning.
#pragma once

#include "host/vel_status.h"

namespace KNNStatus {

enum Code : long {
  kOK = 0,
  kInterrupted = 1,
  kOutOfMemory = 3,
  kNotBuilt = 6,
  kNoData = 200001,  // source cannot rewind, wrong value count, or no valid case
  kSettingsStreamFailed = 200002,
  kBadSpecifiedFeatureNum = 200005,
  kBadKRange = 200006,
  kBadVFoldValue = 200007,
  kBadVFoldVar = 200008,
  kEmptyCaseId = 200009,
  kPredictorIsTarget = 200010,
  kBadRescaleMethod = 200011,
  kBadDistMetric = 200012,
  kBadPredValFunc = 200013,
  kBadFeatureWeight = 200015,
  kBadFeatureSelection = 200016,
  kBadAutoFeatureSelection = 200017,
  kBadSpecifiedK = 200018,
  kBadTempFileDir = 200019,
  kBadPredictorList = 200021,
  kUnknownPredictor = 200022,
  kBadCaseIdVar = 200026,
  kBadFocalVar = 200027,
  kUnknownTarget = 200028,
  kBadTargetList = 200029,
  kUnknownFocalVar = 200030,
  kVFoldNotCategorical = 200032,
  kEmptyFold = 200034,
  kConstantPredictor = 200035,
  kUnknownVFoldVar = 200036,
  kNoRange = 200037,
  kNoPredictor = 200038,
  kBadErrRange = 200039,
  kBadForcedVariables = 200040,
  kFoldCountMismatch = 200041,
  kEqualMinMax = 200042,  // datum 0 = the variable's index
  kCaseIdNotContinuous = 200043,
  kNoPredictionObject = 200046,
  kNoPredictorLeft = 200047,
  kBadScoreRecord = 200049,
  kRepeatedName = 200050,
  kUnknownForcedVariable = 200051,
  kUnknownCaseIdVar = 200052,
  kCaseLabelNotCategorical = 200053,
  kUnknownCaseLabelVar = 200054,
  kBadCaseLabelVar = 200055,
  kStreamFailed = 200056,
  kTempFileFailed = 200057,
  kSingleCase = 200058,
  kSquaredErrorFailed = 200059,
  kFeatureSelectionError = 200060,
  kKAndFeatureSelectionError = 200061,
  kKSelectionError = 200062,
  kScoringTablesFailed = 200063,
  kNoNeighbor = 200064,
  kHostLacksCaseLabel = 200065,
  kBadSpecifiedFeature = 200066,
  kSpecifiedFeatureConflict = 200067,
  kFeatureNumLowered = 200068,  // warning
  kMaxKLowered = 200069,        // warning
  kSpecifiedKLowered = 200070,  // warning
};

inline VelCommon::VelStatus Error(long code) {
  return VelCommon::VelStatus(code, false);
}
inline VelCommon::VelStatus Warning(long code) {
  return VelCommon::VelStatus(code, true);
}

}  // namespace KNNStatus
