// The libusb driver under the link, on an emulated bus whose units are the bench's chips: the
// device order, the three requests as control transfers, exclusive opens, stalls, timeouts
// and units that leave and come back.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "link/ez_usb_link.h"
#include "tests/platform/usb/usb_fixture.h"

namespace zel::testing {
namespace {

using UsbDriverTest = UsbTest;

TEST_F(UsbDriverTest, NumbersOurVendorsDevicesByBusAndPortAndTheLinkPicksItsProduct) {
  StandardBus();
  EXPECT_EQ(Numbered(),
            (std::vector<std::string>{"0 1-1 0001", "1 1-2 314C", "2 1-3 314D", "3 2-1 314E"}));
  bench_->ClearTrace();  // the list tried each unit for an open

  EzUsbLink link(*paced_);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  EXPECT_EQ(link.DeviceIndex(), kKestrin);
  // The descriptors came from the units through GET_DESCRIPTOR, one open each.
  EXPECT_EQ(bench_->TraceLines(),
            (std::vector<std::string>{"open 0 ok", "descriptor 0 ok", "close 0", "open 1 ok",
                                      "descriptor 1 ok", "close 1", "open 2 ok", "descriptor 2 ok",
                                      "close 2"}));
  EXPECT_FALSE(link.FindNextDevice());
  EXPECT_EQ(link.DeviceIndex(), 128);

  link.SetFilters(ezusb::kVendorId, 0, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  EXPECT_EQ(link.DeviceIndex(), kForeignProduct);
  const auto* descriptor = link.GetDeviceDescriptor();
  ASSERT_NE(descriptor, nullptr);
  EXPECT_EQ(ezusb::Get16(descriptor->data() + ezusb::kDescriptorProduct), 0x0001);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductPolyax, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  EXPECT_EQ(link.DeviceIndex(), kPolyax);
  EXPECT_EQ(testbed_->Claims(), 0);  // every open was closed again
}

TEST_F(UsbDriverTest, MemoryReadsAndWritesAreTheCoresOwnRequestsWithTheirCounts) {
  StandardBus();
  EzUsbLink link(*paced_);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  bench_->ClearTrace();

  const std::uint8_t bytes[] = {0x12, 0x34, 0x56};
  EXPECT_TRUE(link.WriteMemory(bytes, 3, 0x1000));
  std::uint8_t back[4] = {};
  EXPECT_EQ(link.ReadMemory(back, 4, 0x0FFF), 4);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
  EXPECT_EQ(back[1], 0x12);
  EXPECT_EQ(back[3], 0x56);
  EXPECT_EQ(Lines(*bench_, {"write", "read"}),
            (std::vector<std::string>{"write 2 0x1000 12 34 56 ok", "write 2 0x1000 12 34 56 ok",
                                      "read 2 0x0FFF 4 ok 00 12 34 56"}));

  // The driver itself: an unknown control code and a bad vendor-request buffer fail, and a
  // host-to-device vendor request carries the output buffer.
  DriverHandle handle = usb_->Open("\\\\.\\ezusb-2");
  ASSERT_NE(handle, kNoDriverHandle);
  std::uint32_t returned = 99;
  EXPECT_FALSE(usb_->Request(handle, 0x00222008, nullptr, 0, back, 1, returned));
  EXPECT_EQ(returned, 0u);
  std::uint8_t setup[10] = {0xA0, 0, 0x00, 0x20, 0, 0, 2, 0, 0, 0xFF};  // wValue 0x2000
  EXPECT_FALSE(usb_->Request(handle, ezusb::kIoctlVendorRequest, setup, 9, back, 2, returned));
  std::uint8_t two[2] = {0xAB, 0xCD};
  EXPECT_TRUE(usb_->Request(handle, ezusb::kIoctlVendorRequest, setup, 10, two, 2, returned));
  EXPECT_EQ(returned, 2u);
  usb_->Close(handle);
  EXPECT_EQ(bench_->Peek(kKestrin, 0x2001), 0xCD);
  EXPECT_EQ(usb_->Open("\\\\.\\ezusb-02"), kNoDriverHandle);
  EXPECT_EQ(usb_->Open("\\\\.\\ezusb--0"), kNoDriverHandle);
  EXPECT_EQ(usb_->Open("\\\\.\\ezusb-4"), kNoDriverHandle);
}

TEST_F(UsbDriverTest, ASecondOpenOfAUnitIsRefusedUntilTheFirstCloses) {
  StandardBus();
  EzUsbLink first(*paced_);
  EzUsbLink second(*paced_);
  DriverHandle held = usb_->Open("\\\\.\\ezusb-1");
  ASSERT_NE(held, kNoDriverHandle);
  first.SetFilters(ezusb::kVendorId, ezusb::kProductOrvane, 0);
  EXPECT_FALSE(first.FindFirstDevice());  // its only unit is open elsewhere
  EXPECT_EQ(first.GetStatus(), LinkStatus::eErrorNoDevice);
  std::string error;
  auto other = LibusbDriver::Start(error);  // as a second program would
  ASSERT_NE(other, nullptr) << error;
  EXPECT_EQ(other->Open("\\\\.\\ezusb-1"), kNoDriverHandle);
  usb_->Close(held);
  EXPECT_TRUE(first.FindFirstDevice());
  EXPECT_EQ(first.DeviceIndex(), kOrvane);
  held = other->Open("\\\\.\\ezusb-1");
  EXPECT_NE(held, kNoDriverHandle);
  second.SetFilters(ezusb::kVendorId, ezusb::kProductOrvane, 0);
  EXPECT_FALSE(second.FindFirstDevice());
  other->Close(held);
}

TEST_F(UsbDriverTest, AStalledReadFailsWithSixAndAStalledWriteWithEight) {
  StandardBus();
  EzUsbLink link(*paced_);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductOrvane, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  bench_->FailNextRequest(sim::TraceKind::kRead);
  link.ReadByte(ezusb::kHeartbeat);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);
  std::uint8_t buffer[2];
  bench_->FailNextRequest(sim::TraceKind::kRead);
  EXPECT_EQ(link.ReadMemory(buffer, 2, 0x1000), -1);
  bench_->FailNextRequest(sim::TraceKind::kWrite);
  EXPECT_TRUE(link.WriteByte(7, 0x1000));  // only the first of the two failed
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataWrite);
  bench_->FailNextRequest(sim::TraceKind::kDescriptor);
  EXPECT_EQ(link.GetDeviceDescriptor(), nullptr);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDeviceDescriptor);
  link.ReadByte(0x1000);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);  // the stall cleared
  EXPECT_EQ(bench_->Peek(kOrvane, 0x1000), 7);
}

TEST_F(UsbDriverTest, ATransferLeftUnansweredTimesOutAndIsDiscarded) {
  StandardBus(sim::Clocking::kVirtual, 50);
  EzUsbLink link(*paced_);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductOrvane, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  testbed_->HoldNextTransfer();
  const auto started = std::chrono::steady_clock::now();
  std::uint8_t byte = 0;
  EXPECT_EQ(link.ReadMemory(&byte, 1, ezusb::kHeartbeat), -1);
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);
  EXPECT_EQ(testbed_->Discarded(), 1);
  EXPECT_GE(waited, std::chrono::milliseconds(50));
  EXPECT_LT(waited, std::chrono::milliseconds(900));           // our timeout, not libusb's default
  EXPECT_EQ(link.ReadMemory(&byte, 1, ezusb::kHeartbeat), 1);  // the unit answers again
  EXPECT_EQ(testbed_->Claims(), 0);
}

TEST_F(UsbDriverTest, AUnitUnpluggedDuringARequestFailsThenAnswersAtItsNumberWhenBack) {
  StandardBus();
  EzUsbLink link(*paced_);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductPolyax, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  bench_->UnplugBeforeRequest(1, kPolyax);
  std::uint8_t byte = 0;
  EXPECT_EQ(link.ReadMemory(&byte, 1, 0x1000), -1);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDevice);  // the open fails now
  testbed_->Unplug(kPolyax);                                // the kernel drops it from the bus
  EXPECT_EQ(Numbered(), (std::vector<std::string>{"0 1-1 0001", "1 1-2 314C", "2 1-3 314D"}));
  EXPECT_FALSE(link.WriteByte(1, 0x1000));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDevice);

  testbed_->Replug(kPolyax);  // same port, new address
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
  EXPECT_EQ(link.DeviceIndex(), kPolyax);
  EXPECT_TRUE(link.WriteByte(0x5A, 0x1000));
  EXPECT_EQ(link.ReadByte(0x1000), 0x5A);
  EXPECT_EQ(bench_->Peek(kPolyax, 0x1000), 0x5A);
  EXPECT_EQ(link.ReadByte(ezusb::kCpucs), 1);  // back as after a power cycle: held in reset
}

TEST_F(UsbDriverTest, AUnitRepluggedIntoItsPortIsFoundByTheNextRequest) {
  StandardBus();
  EzUsbLink link(*paced_);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  testbed_->Unplug(kKestrin);
  testbed_->Replug(kKestrin);  // before any request could notice it was away
  bench_->ClearTrace();
  EXPECT_EQ(link.ReadByte(ezusb::kCpucs), 1);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
  EXPECT_EQ(Lines(*bench_, {"open", "read"}),
            (std::vector<std::string>{"open 2 ok", "read 2 0x7F92 1 ok 01", "open 2 ok"}));
}

}  // namespace
}  // namespace zel::testing
