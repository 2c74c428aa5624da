// The controls on real libusb: controls → devices → link → libusb driver → libusb → usbfs, with
// the bench's chips behind the emulated bus. Pauses run on the bench's virtual clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <vector>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "devices/dual_motor_registers.h"
#include "tests/platform/usb/usb_fixture.h"

namespace zel::testing {
namespace {

using UsbControlsTest = UsbTest;

// Position of the first line starting with `prefix` at or after `from`; lines.size() if none.
std::size_t Find(const std::vector<std::string>& lines, const std::string& prefix,
                 std::size_t from = 0) {
  for (std::size_t k = from; k < lines.size(); ++k)
    if (lines[k].rfind(prefix, 0) == 0) return k;
  return lines.size();
}

TEST_F(UsbControlsTest, BootsAUnitWithoutFirmwareAndGivesItTheDefaultSpeed) {
  StandardBus();
  ASSERT_FALSE(bench_->FirmwareRunning(kKestrin));
  KestrinControl kestrin({*paced_, ""});
  EXPECT_EQ(kestrin.Link().DeviceIndex(), kKestrin);
  EXPECT_TRUE(bench_->FirmwareRunning(kKestrin));
  VARIANT_BOOL present = 0;
  kestrin.IsDevicePresent(&present);
  EXPECT_EQ(present, 1);

  // Heartbeat unchanged, reset hold, the image, start, heartbeat changing: all through libusb.
  const auto lines = Lines(*bench_, {"write", "read"});
  const std::size_t firstBeat = Find(lines, "read 2 0x1D10");
  const std::size_t hold = Find(lines, "write 2 0x7F92 01 ok");
  const std::size_t image = Find(lines, "write 2 0x", hold + 2);
  const std::size_t start = Find(lines, "write 2 0x7F92 00 ok");
  const std::size_t beatAfter = Find(lines, "read 2 0x1D10", start);
  EXPECT_LT(firstBeat, hold);
  EXPECT_LT(hold, image);
  EXPECT_LT(image, start);
  EXPECT_LT(start, beatAfter);
  const std::size_t secondBeat = Find(lines, "read 2 0x1D10", firstBeat + 1);
  const std::size_t beatLater = Find(lines, "read 2 0x1D10", beatAfter + 1);
  ASSERT_LT(beatLater, lines.size());
  EXPECT_LT(secondBeat, hold);
  EXPECT_EQ(lines[firstBeat], lines[secondBeat]);  // no firmware: the byte stands still
  EXPECT_NE(lines[beatAfter], lines[beatLater]);   // firmware running: it changes
  EXPECT_GT(Count(lines, "write 2 0x"), 20);  // the image went out record by record, twice each
  EXPECT_EQ(bench_->Peek(kKestrin, dual_motor::kSpeedDivider), 26);  // 500 steps/s
  std::int32_t frequency = 0;
  kestrin.GetMotorFreq(1, &frequency);
  EXPECT_EQ(frequency, 512);
  EXPECT_EQ(testbed_->Claims(), 0);
}

TEST_F(UsbControlsTest, AMoveWaitsForTheMotorAndEveryClassFindsItsUnit) {
  StandardBus();
  OrvaneControl orvane({*paced_, ""});
  PolyaxControl polyax({*paced_, ""});
  EXPECT_EQ(orvane.Link().DeviceIndex(), kOrvane);
  EXPECT_EQ(polyax.Link().DeviceIndex(), kPolyax);

  bench_->ClearTrace();
  VARIANT_BOOL moved = 0;
  EXPECT_EQ(orvane.MoveMotor(1, 400, 0, &moved), S_OK);
  EXPECT_EQ(moved, 1);
  const auto lines = bench_->TraceLines();
  EXPECT_GT(Count(lines, "sleep 10"), 1);  // it polled until the motor rested
  EXPECT_GT(Count(lines, "read 1 0x1C22"), 2);
  std::int32_t position = 0;
  orvane.GetMotorPosition(1, &position);
  EXPECT_EQ(position, 400);
  std::int32_t error = -1;
  orvane.get_LastError(&error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(bench_->Peek32(kOrvane, dual_motor::kPositionMotor1), 400u);
}

TEST_F(UsbControlsTest, SetSerialSelectsTheUnitByItsEepromSerial) {
  sim::UnitConfig first = Unit(0, sim::UnitModel::kKestrin);
  first.serial = "KS-0001";
  sim::UnitConfig second = Unit(1, sim::UnitModel::kKestrin, true);
  second.serial = "KS-0002";
  second.eepromMarker = 0xB2;  // the serial sits at offset 11
  bench_ = std::make_unique<sim::Bench>(Bench({first, second}));
  testbed_ = std::make_unique<UsbTestbed>(*bench_);
  testbed_->Plug(1, 1, 5);
  testbed_->Plug(0, 1, 2);
  StartDriver();

  KestrinControl kestrin({*paced_, ""});
  EXPECT_EQ(kestrin.Link().DeviceIndex(), 0);
  Bstr wanted("KS-0002");
  VARIANT_BOOL selected = 0;
  EXPECT_EQ(kestrin.SetSerial(wanted.text, &selected), S_OK);
  EXPECT_EQ(selected, 1);
  EXPECT_EQ(kestrin.Link().DeviceIndex(), 1);
  Bstr serial;
  kestrin.GetSerial(&serial.text);
  EXPECT_EQ(serial.Narrow(), "KS-0002");
  Bstr missing("KS-0003");
  kestrin.SetSerial(missing.text, &selected);
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(kestrin.Link().DeviceIndex(), 128);
}

// A session of member calls: short synchronous moves, each checked.
void Session(KestrinControl& kestrin, int rounds) {
  for (int k = 0; k < rounds; ++k) {
    std::int32_t position = -1;
    kestrin.GetMotorPosition(1, &position);
    ASSERT_EQ(position, 5 * k);
    VARIANT_BOOL moved = 0;
    kestrin.MoveMotor(1, 5, 0, &moved);
    ASSERT_EQ(moved, 1);
  }
}

// The same session sends the same requests through libusb as to the bench driver itself; the
// request rates of the two are printed for the README.
TEST_F(UsbControlsTest, TheStackSendsTheBenchDriversTrafficThroughLibusb) {
  constexpr int kRounds = 100;
  sim::UnitConfig unit = Unit(0, sim::UnitModel::kKestrin, true);
  unit.speedDivider = 26;
  sim::Bench direct(Bench({unit}));
  bench_ = std::make_unique<sim::Bench>(Bench({unit}));
  testbed_ = std::make_unique<UsbTestbed>(*bench_);
  testbed_->Plug(0, 1, 1);
  StartDriver();

  auto run = [&](sim::Bench& bench, Driver& driver) {
    KestrinControl kestrin({driver, ""});
    bench.ClearTrace();
    const std::uint64_t before = bench.RequestCount();
    const auto started = std::chrono::steady_clock::now();
    Session(kestrin, kRounds);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    return std::pair{static_cast<double>(bench.RequestCount() - before) / took.count(),
                     bench.TraceLines()};
  };
  const auto [benchRate, benchLines] = run(direct, direct);
  const auto [usbRate, usbLines] = run(*bench_, *paced_);
  ASSERT_FALSE(HasFailure());
  EXPECT_EQ(usbLines, benchLines);
  EXPECT_GT(Count(usbLines, "write 0 0x1C30"), kRounds - 1);
  std::cout << "requests per second: bench driver " << static_cast<long>(benchRate)
            << ", libusb on the testbed " << static_cast<long>(usbRate) << "\n";
  RecordProperty("bench_requests_per_second", static_cast<int>(benchRate));
  RecordProperty("usb_requests_per_second", static_cast<int>(usbRate));
}

}  // namespace
}  // namespace zel::testing
