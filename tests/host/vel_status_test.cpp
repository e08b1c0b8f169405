#include "host/vel_status.h"

#include <gtest/gtest.h>

namespace VelCommon {
namespace {

TEST(VelStatusTest, DataAreKeptByIndexAndCopied) {
  EXPECT_FALSE(VelStatus(0, true).IsWarning());  // a zero code is never a warning
  VelStatus status(100001, false);
  EXPECT_EQ(status.GetDiscreteDatum(0, 9), 9);
  status.SetDiscreteDatum(1, 20);
  status.SetDiscreteDatum(0, 3);
  status.SetDiscreteDatum(0, 4);  // replaces
  const VelStatus copy = status;
  EXPECT_EQ(std::pair(copy.GetDiscreteDatum(0), copy.GetDiscreteDatum(1)), std::pair(4L, 20L));
  EXPECT_FALSE(copy.HasDiscreteDatum(2));
}

}  // namespace
}  // namespace VelCommon
