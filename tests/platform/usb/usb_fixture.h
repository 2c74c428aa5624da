// A bench behind an emulated USB bus, and the libusb driver over it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/driver_libusb.h"
#include "sim/bench.h"
#include "tests/platform/usb/usb_testbed.h"
#include "tests/support/bench_units.h"

namespace zel::testing {

// Bench device numbers of the units on the standard bus; each is also the unit's number in
// the driver's order, which follows bus and port, not the order the units were plugged in.
inline constexpr int kForeignProduct = 0;  // vendor 0x5A45, product 0x0001, at 1-1
inline constexpr int kOrvane = 1;          // at 1-2
inline constexpr int kKestrin = 2;         // at 1-3
inline constexpr int kPolyax = 3;          // at 2-1

class UsbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UsbTestbed::Available()) GTEST_SKIP() << "runs under umockdev-wrapper only";
  }

  // The standard bus: three units, a device of our vendor with a product of no class, and
  // another maker's device at 1-4 that the driver must not number.
  void StandardBus(sim::Clocking clocking = sim::Clocking::kVirtual,
                   std::uint32_t timeoutMs = LibusbDriver::kDefaultTimeoutMs) {
    sim::UnitConfig foreign = Unit(kForeignProduct, sim::UnitModel::kKestrin);
    foreign.product = 0x0001;
    sim::UnitConfig kestrin = Unit(kKestrin, sim::UnitModel::kKestrin);
    kestrin.serial = "KS-0042";
    sim::UnitConfig polyax = Unit(kPolyax, sim::UnitModel::kPolyax, true);
    bench_ = std::make_unique<sim::Bench>(
        Bench({foreign, Unit(kOrvane, sim::UnitModel::kOrvane, true), kestrin, polyax}), clocking);
    testbed_ = std::make_unique<UsbTestbed>(*bench_);
    testbed_->Plug(kPolyax, 2, 1);
    testbed_->Plug(kKestrin, 1, 3);
    testbed_->PlugForeign(1, 4, 0x046D, 0xC52B);
    testbed_->Plug(kOrvane, 1, 2);
    testbed_->Plug(kForeignProduct, 1, 1);
    StartDriver(timeoutMs);
  }

  void StartDriver(std::uint32_t timeoutMs = LibusbDriver::kDefaultTimeoutMs) {
    std::string error;
    usb_ = LibusbDriver::Start(error, timeoutMs);
    ASSERT_NE(usb_, nullptr) << error;
    paced_ = std::make_unique<BenchPaced>(*usb_, *bench_);
    bench_->ClearTrace();
  }

  // The driver's list, one "NUMBER PORT PRODUCT" each (PRODUCT in hex), after reading the bus.
  std::vector<std::string> Numbered() const {
    std::vector<std::string> lines;
    for (const auto& unit : usb_->List()) {
      char product[8];
      std::snprintf(product, sizeof product, "%04X", unit.productId);
      lines.push_back(std::to_string(unit.number) + " " + unit.port + " " + product);
    }
    return lines;
  }

  void TearDown() override {
    paced_.reset();
    usb_.reset();
    testbed_.reset();
    bench_.reset();
  }

  std::unique_ptr<sim::Bench> bench_;
  std::unique_ptr<UsbTestbed> testbed_;
  std::unique_ptr<LibusbDriver> usb_;
  std::unique_ptr<BenchPaced> paced_;  // usb_ on the bench's clock
};

}  // namespace zel::testing
