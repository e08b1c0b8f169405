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
  // The component's catalogue, then the host libraries' codes.
  const long codes[] = {1,      3,      6,      200001, 200002, 200005, 200006, 200007, 200008,
                        200009, 200010, 200011, 200012, 200013, 200015, 200016, 200017, 200018,
                        200019, 200021, 200022, 200026, 200027, 200028, 200029, 200030, 200032,
                        200034, 200035, 200036, 200037, 200038, 200039, 200040, 200041, 200042,
                        200043, 200046, 200047, 200049, 200050, 200051, 200052, 200053, 200054,
                        200055, 200056, 200057, 200058, 200059, 200060, 200061, 200062, 200063,
                        200064, 200065, 200066, 200067, 200068, 200069, 200070, 100001, 100002,
                        100003, 100004, 100005, 100006};
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

TEST(StatusMessagesTest, MessagesNameTheFieldConcerned) {
  SettingsInfo info;
  info.variables->Add(std::make_unique<VelMTD::VelContVar>("id", 1.0, 5.0));
  info.variables->Add(std::make_unique<VelMTD::VelContVar>("width", 2.0, 2.0));
  info.variables->Add(std::make_unique<VelMTD::VelContVar>("height", -1.7976931348623157e308, 3.0));
  info.caseIdName = "id";
  info.targetNames = {"width", "spcies"};
  info.predictorNames = {"height", "colour", "width"};
  info.forcedNames = {"height", "weight"};
  info.caseLabelName = "tag";
  const std::pair<long, const char*> cases[] = {
      {KNNStatus::kUnknownTarget, "target 'spcies'"},
      {KNNStatus::kUnknownPredictor, "input 'colour'"},
      {KNNStatus::kUnknownForcedVariable, "forced variable 'weight'"},
      {KNNStatus::kPredictorIsTarget, "field 'width'"},
      {KNNStatus::kNoRange, "field 'height'"},
      {KNNStatus::kUnknownCaseLabelVar, "CaseLabelVar 'tag'"},
  };
  for (const auto& [code, mention] : cases) {
    const std::string named = StatusMessage(VelStatus(code, false), &info);
    EXPECT_NE(named.find(mention), std::string::npos) << named;
    // Without settings the general message stands and names nothing.
    const std::string general = StatusMessage(VelStatus(code, false), nullptr);
    EXPECT_EQ(general.find('\''), std::string::npos) << general;
  }
  VelStatus equal(KNNStatus::kEqualMinMax, false);
  equal.SetDiscreteDatum(0, 1);
  EXPECT_EQ(StatusMessage(equal, &info),
            "200042: field 'width' is declared with equal minimum and maximum");
  equal.SetDiscreteDatum(0, 17);  // no such field
  EXPECT_EQ(StatusMessage(equal, &info),
            "200042: a continuous field is declared with equal minimum and maximum");
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
