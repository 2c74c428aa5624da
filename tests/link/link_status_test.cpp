#include "link/link_status.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

TEST(LinkStatusTest, EveryCodeHasItsFixedMessage) {
  const char* expected[] = {"No Error",
                            "No Device",
                            "Invalid Firmware",
                            "Corrupt Firmware",
                            "No Firmware",
                            "File not found",
                            "Error reading data",
                            "Error reading single data",
                            "Error writing data",
                            "Error writing single data",
                            "No device descriptor",
                            "No device response",
                            "No motor present",
                            "Motor communication error",
                            "Device busy"};
  for (int code = 0; code < kLinkStatusCount; ++code)
    EXPECT_STREQ(StatusMessage(static_cast<LinkStatus>(code)), expected[code]) << code;
  EXPECT_STREQ(StatusMessage(static_cast<LinkStatus>(15)), "");
  EXPECT_STREQ(StatusMessage(static_cast<LinkStatus>(-1)), "");
}

TEST(LinkStatusTest, TypeLibraryEnumerationCountsOneLowerFromFileNotFound) {
  EXPECT_EQ(static_cast<int>(EUSBError::eErrorIHexFileCorrupt), 3);
  EXPECT_EQ(static_cast<int>(EUSBError::eErrorFileNotFound), 4);
  EXPECT_EQ(static_cast<int>(LinkStatus::eErrorFileNotFound), 5);
  EXPECT_EQ(static_cast<int>(EUSBError::eErrorNoMotorCommunication), 12);
  EXPECT_EQ(static_cast<int>(LinkStatus::eErrorNoMotorCommunication), 13);
}

}  // namespace
}  // namespace zel
