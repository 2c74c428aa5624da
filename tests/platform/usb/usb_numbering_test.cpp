// Unit numbers on a changing bus: a link bound to a number reaches its own unit or fails with
// "no device", never another unit, whatever leaves or arrives; and what the driver says when it
// finds a unit it cannot use.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "link/ez_usb_link.h"
#include "tests/platform/usb/usb_fixture.h"

namespace zel::testing {
namespace {

constexpr int kOrvaneUnit = 0, kKestrinUnit = 1, kPolyaxUnit = 2;
constexpr std::uint16_t kProbe = 0x1000;

struct Place {
  int unit, bus, port;
};

struct Change {
  const char* scenario;
  std::vector<Place> before;                // plugged in this order, then the driver starts
  std::function<void(UsbTestbed&)> change;  // while a Kestrin link is bound
  bool reachesKestrin;                      // else the write fails with "no device"
  std::vector<std::string> numbered;        // the driver's list afterwards
};

class UsbNumberingTest : public UsbTest {
 protected:
  void Start(const std::vector<Place>& places) {
    bench_ = std::make_unique<sim::Bench>(Bench({Unit(kOrvaneUnit, sim::UnitModel::kOrvane),
                                                 Unit(kKestrinUnit, sim::UnitModel::kKestrin),
                                                 Unit(kPolyaxUnit, sim::UnitModel::kPolyax)}));
    testbed_ = std::make_unique<UsbTestbed>(*bench_);
    for (const auto& place : places) testbed_->Plug(place.unit, place.bus, place.port);
    StartDriver();
  }
};

TEST_F(UsbNumberingTest, ABoundLinkReachesItsUnitOrNothingWhateverLeavesOrArrives) {
  const Change rows[] = {
      {"an earlier unit unplugged",
       {{kOrvaneUnit, 1, 1}, {kKestrinUnit, 1, 2}, {kPolyaxUnit, 1, 3}},
       [](UsbTestbed& bus) { bus.Unplug(kOrvaneUnit); },
       true,
       {"1 1-2 314D", "2 1-3 314E"}},
      {"a unit plugged into a lower port",
       {{kKestrinUnit, 1, 3}},
       [](UsbTestbed& bus) { bus.Plug(kPolyaxUnit, 1, 1); },
       true,
       {"0 1-3 314D", "1 1-1 314E"}},
      {"a unit on another bus plugged in",
       {{kOrvaneUnit, 2, 1}, {kKestrinUnit, 2, 2}},
       [](UsbTestbed& bus) { bus.Plug(kPolyaxUnit, 1, 5); },
       true,
       {"0 2-1 314C", "1 2-2 314D", "2 1-5 314E"}},
      {"the unit replugged into its port",
       {{kOrvaneUnit, 1, 1}, {kKestrinUnit, 1, 2}},
       [](UsbTestbed& bus) {
         bus.Unplug(kKestrinUnit);
         bus.Replug(kKestrinUnit);
       },
       true,
       {"0 1-1 314C", "1 1-2 314D"}},
      {"the unit away",
       {{kOrvaneUnit, 1, 1}, {kKestrinUnit, 1, 2}},
       [](UsbTestbed& bus) { bus.Unplug(kKestrinUnit); },
       false,
       {"0 1-1 314C"}},
      {"another product in the unit's port",
       {{kKestrinUnit, 1, 2}, {kOrvaneUnit, 1, 3}},
       [](UsbTestbed& bus) {
         bus.Unplug(kKestrinUnit);
         bus.Plug(kPolyaxUnit, 1, 2);
       },
       false,
       {"1 1-3 314C", "2 1-2 314E"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scenario);
    Start(row.before);
    {  // the links go before the driver
      EzUsbLink kestrin(*paced_);
      kestrin.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
      ASSERT_TRUE(kestrin.FindFirstDevice());
      const int bound = kestrin.DeviceIndex();

      row.change(*testbed_);
      // Another control's search reads the bus again, as the shifting numbers once needed.
      EzUsbLink any(*paced_);
      any.SetFilters(ezusb::kVendorId, 0, 0);
      any.FindFirstDevice();

      EXPECT_EQ(kestrin.WriteByte(0x5A, kProbe), row.reachesKestrin);
      EXPECT_EQ(kestrin.GetStatus(),
                row.reachesKestrin ? LinkStatus::eErrorNoError : LinkStatus::eErrorNoDevice);
      EXPECT_EQ(kestrin.DeviceIndex(), bound);
      for (int unit : {kOrvaneUnit, kKestrinUnit, kPolyaxUnit}) {
        const bool wanted = row.reachesKestrin && unit == kKestrinUnit;
        EXPECT_EQ(bench_->Peek(unit, kProbe) == 0x5A, wanted) << "bench unit " << unit;
      }
      EXPECT_EQ(Numbered(), row.numbered);
    }
    TearDown();
  }
}

// Several refused opens, of two units, say so once for each reason, naming the port.
TEST_F(UsbNumberingTest, RefusedAndUnconfiguredUnitsAreReportedOnceEachWithTheirPort) {
  Start({{kOrvaneUnit, 1, 1}, {kKestrinUnit, 1, 2}, {kPolyaxUnit, 1, 3}});
  testbed_->Unconfigure(kKestrinUnit);
  testbed_->Unconfigure(kPolyaxUnit);
  std::vector<std::string> reports;
  usb_->OnRefused([&reports, told = false](LibusbDriver::Refusal reason, const std::string& device,
                                           const std::string& where) mutable {
    reports.push_back((reason == LibusbDriver::Refusal::kUnconfigured ? "unconfigured " : "? ") +
                      device + " " + where + (told ? " again" : ""));
    told = true;
  });
  for (const char* name : {"\\\\.\\ezusb-1", "\\\\.\\ezusb-2", "\\\\.\\ezusb-1"})
    EXPECT_EQ(usb_->Open(name), kNoDriverHandle);
  // The callable keeps its state across calls: only the first report is not "again".
  EXPECT_EQ(reports, (std::vector<std::string>{"unconfigured \\\\.\\ezusb-1 1-2",
                                               "unconfigured \\\\.\\ezusb-2 1-3 again",
                                               "unconfigured \\\\.\\ezusb-1 1-2 again"}));
  const DriverHandle held = usb_->Open("\\\\.\\ezusb-0");
  ASSERT_NE(held, kNoDriverHandle);
  std::vector<std::string> states;
  for (const auto& unit : usb_->List())
    states.push_back(std::to_string(unit.number) + " " +
                     std::to_string(static_cast<int>(unit.state)));
  usb_->Close(held);
  EXPECT_EQ(states, (std::vector<std::string>{"0 1", "1 3", "2 3"}));  // in use, unconfigured
}

}  // namespace
}  // namespace zel::testing
