// Every status the host can meet has a message; messages name the field when they can.
#include "status_messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "boundary/status_codes.h"
#include "settings_info.h"
#include "support/cli_process.h"

namespace knncli {
namespace {

using VelCommon::VelStatus;

TEST(StatusMessagesTest, EveryCodeOfTheCatalogueHasItsOwnMessage) {
  // The host libraries' codes, then the component's catalogue (200000 + n).
  std::vector<long> codes = {1, 3, 6, 100001, 100002, 100003, 100004, 100005, 100006};
  const std::set<long> unused = {3, 4, 14, 20, 23, 24, 25, 31, 33, 44, 45, 48};
  for (long n = 1; n <= 70; ++n) {
    if (unused.count(n) == 0) codes.push_back(200000 + n);
  }
  std::set<std::string> seen;
  for (const long code : codes) {
    EXPECT_TRUE(HasStatusMessage(code)) << code;
    const std::string message = StatusMessage(VelStatus(code, false), nullptr);
    EXPECT_EQ(message.rfind(std::to_string(code) + ": ", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << "one line: " << message;
    EXPECT_TRUE(seen.insert(message.substr(message.find(':'))).second) << "shared: " << message;
  }
  EXPECT_FALSE(HasStatusMessage(424242));
  EXPECT_EQ(StatusMessage(VelStatus(424242, false), nullptr), "424242: unexpected status");
}

TEST(StatusMessagesTest, MessagesNameTheFieldConcernedAndThePosition) {
  SettingsInfo info;
  info.variables->Add(std::make_unique<VelMTD::VelContVar>("width", 2.0, 2.0));
  info.variables->Add(std::make_unique<VelMTD::VelContVar>("height", 0.0, 3.0));
  info.targetNames = {"width"};
  info.predictorNames = {"height", "colour", "width"};
  info.forcedNames = {"height", "weight"};
  info.caseLabelName = "tag";
  const std::pair<long, const char*> cases[] = {
      {KNNStatus::kUnknownPredictor, "input 'colour'"},
      {KNNStatus::kUnknownForcedVariable, "forced variable 'weight'"},
      {KNNStatus::kPredictorIsTarget, "field 'width'"},
      {KNNStatus::kUnknownCaseLabelVar, "CaseLabelVar 'tag'"},
  };
  for (const auto& [code, mention] : cases) {
    EXPECT_TRUE(clitest::Contains(StatusMessage(VelStatus(code, false), &info), {mention}));
    // Without settings the general message stands and names nothing.
    EXPECT_EQ(StatusMessage(VelStatus(code, false), nullptr).find('\''), std::string::npos);
  }
  VelStatus equal(KNNStatus::kEqualMinMax, false);
  equal.SetDiscreteDatum(0, 17);  // no such field
  EXPECT_EQ(StatusMessage(equal, &info),
            "200042: a continuous field is declared with equal minimum and maximum");
  VelStatus xml(VelCommon::kHostXmlNotWellFormed, false);
  xml.SetDiscreteDatum(0, 3);
  xml.SetDiscreteDatum(1, 14);
  EXPECT_NE(StatusMessage(xml, nullptr).find("line 3, column 14"), std::string::npos);
}

}  // namespace
}  // namespace knncli
