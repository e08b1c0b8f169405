#include "host/vel_status.h"

#include <gtest/gtest.h>

namespace VelCommon {
namespace {

TEST(VelStatusTest, KindsFollowCodeAndFlag) {
  struct Case {
    VelStatus status;
    bool ok, error, warning;
  };
  const Case cases[] = {
      {VelStatus(), true, false, false},
      {VelStatus(0, true), true, false, false},  // a zero code is never a warning
      {VelStatus(200005, false), false, true, false},
      {VelStatus(200068, true), false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.status.IsOK(), c.ok) << c.status.GetErrorCode();
    EXPECT_EQ(c.status.IsError(), c.error) << c.status.GetErrorCode();
    EXPECT_EQ(c.status.IsWarning(), c.warning) << c.status.GetErrorCode();
  }
}

TEST(VelStatusTest, EqualityIgnoresDataButNotTheFlag) {
  VelStatus a(200042, false);
  a.SetDiscreteDatum(0, 7);
  EXPECT_EQ(a, VelStatus(200042, false));
  EXPECT_NE(a, VelStatus(200042, true));
  EXPECT_NE(a, VelStatus(200043, false));
}

TEST(VelStatusTest, DataAreKeptByIndexAndCopied) {
  VelStatus status(100001, false);
  EXPECT_FALSE(status.HasDiscreteDatum(0));
  EXPECT_EQ(status.GetDiscreteDatum(0), -1);
  EXPECT_EQ(status.GetDiscreteDatum(0, 9), 9);
  status.SetDiscreteDatum(1, 20);
  status.SetDiscreteDatum(0, 3);
  status.SetDiscreteDatum(0, 4);  // replaces
  const VelStatus copy = status;
  EXPECT_EQ(copy.GetDiscreteDatum(0), 4);
  EXPECT_EQ(copy.GetDiscreteDatum(1), 20);
  EXPECT_FALSE(copy.HasDiscreteDatum(2));
}

TEST(VelStatusTest, EveryHostCodeHasAMessage) {
  for (long code = kHostXmlNotWellFormed; code <= kHostInternalError; ++code) {
    EXPECT_FALSE(HostStatusMessage(code).empty()) << code;
  }
  EXPECT_TRUE(HostStatusMessage(0).empty());
  EXPECT_TRUE(HostStatusMessage(200005).empty());
}

}  // namespace
}  // namespace VelCommon
