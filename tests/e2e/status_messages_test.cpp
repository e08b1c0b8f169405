// Every status the host can meet has a message; messages name the field when they can.
#include "status_messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "boundary/status_codes.h"
#include "settings_info.h"

namespace knncli {
namespace {

using VelCommon::VelStatus;

TEST(StatusMessagesTest, EveryCodeOfTheCatalogueHasItsOwnMessage) {
  using namespace KNNStatus;
  const long codes[] = {kInterrupted,
                        kOutOfMemory,
                        kNotBuilt,
                        kNoData,
                        kSettingsStreamFailed,
                        kBadSpecifiedFeatureNum,
                        kBadKRange,
                        kBadVFoldValue,
                        kBadVFoldVar,
                        kEmptyCaseId,
                        kPredictorIsTarget,
                        kBadRescaleMethod,
                        kBadDistMetric,
                        kBadPredValFunc,
                        kBadFeatureWeight,
                        kBadFeatureSelection,
                        kBadAutoFeatureSelection,
                        kBadSpecifiedK,
                        kBadTempFileDir,
                        kBadPredictorList,
                        kUnknownPredictor,
                        kBadCaseIdVar,
                        kBadFocalVar,
                        kUnknownTarget,
                        kBadTargetList,
                        kUnknownFocalVar,
                        kVFoldNotCategorical,
                        kEmptyFold,
                        kConstantPredictor,
                        kUnknownVFoldVar,
                        kNoRange,
                        kNoPredictor,
                        kBadErrRange,
                        kBadForcedVariables,
                        kFoldCountMismatch,
                        kEqualMinMax,
                        kCaseIdNotContinuous,
                        kNoPredictionObject,
                        kNoPredictorLeft,
                        kBadScoreRecord,
                        kRepeatedName,
                        kUnknownForcedVariable,
                        kUnknownCaseIdVar,
                        kCaseLabelNotCategorical,
                        kUnknownCaseLabelVar,
                        kBadCaseLabelVar,
                        kStreamFailed,
                        kTempFileFailed,
                        kSingleCase,
                        kSquaredErrorFailed,
                        kFeatureSelectionError,
                        kKAndFeatureSelectionError,
                        kKSelectionError,
                        kScoringTablesFailed,
                        kNoNeighbor,
                        kHostLacksCaseLabel,
                        kBadSpecifiedFeature,
                        kSpecifiedFeatureConflict,
                        kFeatureNumLowered,
                        kMaxKLowered,
                        kSpecifiedKLowered,
                        VelCommon::kHostXmlNotWellFormed,
                        VelCommon::kHostRootNotSettings,
                        VelCommon::kHostInvalidField,
                        VelCommon::kHostListNotItems,
                        VelCommon::kHostKeyUnreadable,
                        VelCommon::kHostNotParsed};
  std::set<std::string> seen;
  for (const long code : codes) {
    EXPECT_TRUE(HasStatusMessage(code)) << code;
    const std::string message = StatusMessage(VelStatus(code, false), nullptr);
    EXPECT_EQ(message.rfind(std::to_string(code) + ": ", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << "one line: " << message;
    EXPECT_TRUE(seen.insert(message.substr(message.find(':'))).second)
        << "two codes share a message: " << message;
  }
  EXPECT_FALSE(HasStatusMessage(424242));
  EXPECT_EQ(StatusMessage(VelStatus(424242, false), nullptr), "424242: unexpected status");
}

class NamedMessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    info_.variables->Add(std::make_unique<VelMTD::VelContVar>("id", 1.0, 5.0));
    info_.variables->Add(std::make_unique<VelMTD::VelContVar>("width", 2.0, 2.0));
    info_.variables->Add(
        std::make_unique<VelMTD::VelContVar>("height", -1.7976931348623157e308, 3.0));
    info_.caseIdName = "id";
    info_.targetNames = {"width", "spcies"};
    info_.predictorNames = {"height", "colour", "width"};
    info_.forcedNames = {"height", "weight"};
    info_.caseLabelName = "tag";
  }
  SettingsInfo info_;
};

TEST_F(NamedMessagesTest, MessagesNameTheFieldConcerned) {
  VelStatus equal(KNNStatus::kEqualMinMax, false);
  equal.SetDiscreteDatum(0, 1);
  EXPECT_EQ(StatusMessage(equal, &info_),
            "200042: field 'width' is declared with equal minimum and maximum");
  EXPECT_EQ(StatusMessage(VelStatus(KNNStatus::kUnknownTarget, false), &info_),
            "200028: target 'spcies' is not a declared field");
  EXPECT_EQ(StatusMessage(VelStatus(KNNStatus::kUnknownPredictor, false), &info_),
            "200022: input 'colour' is not a declared field");
  EXPECT_EQ(StatusMessage(VelStatus(KNNStatus::kUnknownForcedVariable, false), &info_),
            "200051: forced variable 'weight' is not a declared field");
  EXPECT_EQ(StatusMessage(VelStatus(KNNStatus::kPredictorIsTarget, false), &info_),
            "200010: field 'width' is both a target and an input");
  EXPECT_EQ(StatusMessage(VelStatus(KNNStatus::kNoRange, false), &info_),
            "200037: field 'height' is continuous but has no declared minimum or maximum");
  EXPECT_EQ(StatusMessage(VelStatus(KNNStatus::kUnknownCaseLabelVar, false), &info_),
            "200054: CaseLabelVar 'tag' is not a declared field");
}

TEST_F(NamedMessagesTest, WithoutANameTheGeneralMessageStands) {
  VelStatus equal(KNNStatus::kEqualMinMax, false);
  equal.SetDiscreteDatum(0, 17);  // no such field
  EXPECT_EQ(StatusMessage(equal, &info_),
            "200042: a continuous field is declared with equal minimum and maximum");
  EXPECT_EQ(StatusMessage(VelStatus(KNNStatus::kUnknownTarget, false), nullptr),
            "200028: a target is not a declared field");
}

TEST(StatusMessagesTest, HostCodesCarryTheirPosition) {
  VelStatus xml(VelCommon::kHostXmlNotWellFormed, false);
  xml.SetDiscreteDatum(0, 3);
  xml.SetDiscreteDatum(1, 14);
  const std::string message = StatusMessage(xml, nullptr);
  EXPECT_NE(message.find("line 3, column 14"), std::string::npos) << message;
}

}  // namespace
}  // namespace knncli
