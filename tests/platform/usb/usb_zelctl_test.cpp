// zelctl --usb as its users run it: a process of its own, here on the emulated bus of this
// test process (the child inherits the umockdev preload and the testbed), on real time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "sim/bench.h"
#include "tests/platform/usb/usb_testbed.h"
#include "tests/support/bench_units.h"
#include "tests/tools/zelctl_process_support.h"

namespace zel::testing {
namespace {

class UsbZelctl : public ZelctlProcessTest {
 protected:
  void SetUp() override {
    if (!UsbTestbed::Available()) GTEST_SKIP() << "runs under umockdev-wrapper only";
    ZelctlProcessTest::SetUp();
  }

  // zelctl with `args`, as the unprivileged user nobody.
  Outcome RunAsNobody(const std::vector<std::string>& args) const {
    return RunUnder("setpriv --reuid=nobody --regid=nogroup --clear-groups", args);
  }
};

TEST_F(UsbZelctl, DrivesAUnitOnTheBusAndTracesItsRequests) {
  sim::UnitConfig unit = Unit(0, sim::UnitModel::kKestrin, true);
  unit.serial = "KS-0007";
  unit.speedDivider = 26;
  sim::Bench bench(Bench({unit}), sim::Clocking::kLive);
  UsbTestbed testbed(bench);
  testbed.Plug(0, 1, 4);
  const Outcome run = Run({"--usb", "--trace", Path("trace.txt"), "kestrin", "-c",
                           "IsDevicePresent; LastError; GetSerial; MoveMotor 1 50; "
                           "GetMotorPosition 1"});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "IsDevicePresent -> 1\nLastError -> 0\nGetSerial -> \"KS-0007\"\nMoveMotor -> 1\n"
            "GetMotorPosition -> 50\n");
  const std::string trace = Read("trace.txt");
  EXPECT_EQ(trace.rfind("open 0 ok\ndescriptor 0 ok\nclose 0\n", 0), 0u) << trace;
  EXPECT_NE(trace.find("write 0 0x1C30 32 00 00 00 ok\n"), std::string::npos);  // 50 steps
  EXPECT_EQ(bench.Peek32(0, 0x1C36), 50u);
  EXPECT_EQ(bench.OpenHandles(), 0);
}

// What zelctl says of a bus it cannot use, for a session and for --list: a row a bus.
TEST_F(UsbZelctl, SessionsAndListsSayWhatTheBusHolds) {
  const std::string noUsbfs =
      "zelctl: /dev/bus/usb is missing, so no unit can be reached (no usbfs, as in a "
      "container)\n";
  struct Row {
    const char* bus;
    std::function<void(UsbTestbed&)> plug;
    std::vector<std::string> args;
    std::string out, err;
  };
  const Row rows[] = {
      {"no usbfs",
       [](UsbTestbed&) {},
       {"--usb", "kestrin", "-c", "IsDevicePresent; LastError"},
       "IsDevicePresent -> 0\nLastError -> 1\n",
       noUsbfs},
      {"no usbfs",
       [](UsbTestbed&) {},
       {"--usb", "--list"},
       "no units: /dev/bus/usb is missing, so no USB device can be reached (in a container, "
       "pass the host's /dev/bus/usb in)\n",
       ""},
      {"another maker's device only",
       [](UsbTestbed& bus) { bus.PlugForeign(1, 1, 0x046D, 0xC52B); },
       {"--usb", "kestrin", "-c", "IsDevicePresent; LastError"},
       "IsDevicePresent -> 0\nLastError -> 1\n",
       ""},
      {"another maker's device only",
       [](UsbTestbed& bus) { bus.PlugForeign(1, 1, 0x046D, 0xC52B); },
       {"--list", "--usb"},
       "no units: no USB device of vendor 0x5A45 is attached\n",
       ""},
      {"three units, one unconfigured",
       [](UsbTestbed& bus) {
         bus.Plug(2, 2, 1);
         bus.Plug(1, 1, 4);
         bus.Plug(0, 1, 3);
         bus.Unconfigure(2);
       },
       {"--usb", "--list"},
       "\\\\.\\ezusb-0   Orvane         USB 1-3  ready\n"
       "\\\\.\\ezusb-1   Kestrin        USB 1-4  ready\n"
       "\\\\.\\ezusb-2   Polyax         USB 2-1  unconfigured: check its power\n",
       ""},
      {"an unconfigured Polyax",
       [](UsbTestbed& bus) {
         bus.Plug(2, 2, 1);
         bus.Unconfigure(2);
       },
       {"--usb", "polyax", "-c", "IsDevicePresent; IsDevicePresent; LastError"},
       "IsDevicePresent -> 0\nIsDevicePresent -> 0\nLastError -> 1\n",
       "zelctl: the unit at USB 2-1 (\\\\.\\ezusb-0) is attached but not configured: it may "
       "lack power (a bus-powered hub); plug it into another port\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bus);
    sim::Bench bench(
        Bench({Unit(0, sim::UnitModel::kOrvane, true), Unit(1, sim::UnitModel::kKestrin, true),
               Unit(2, sim::UnitModel::kPolyax, true)}),
        sim::Clocking::kLive);
    UsbTestbed testbed(bench);
    row.plug(testbed);
    const Outcome run = Run(row.args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, row.out);
    EXPECT_EQ(run.err, row.err);
  }
}

// As a user without the udev rule: the device node is root's alone.
TEST_F(UsbZelctl, AUnitRefusedToTheUserNamesTheUdevRuleOnce) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run zelctl as another user";
  if (std::system("command -v setpriv > /dev/null") != 0) GTEST_SKIP() << "needs setpriv";
  sim::Bench bench(
      Bench({Unit(0, sim::UnitModel::kKestrin, true), Unit(1, sim::UnitModel::kKestrin, true)}),
      sim::Clocking::kLive);
  UsbTestbed testbed(bench);
  testbed.Plug(0, 1, 2);
  testbed.Plug(1, 1, 3);
  testbed.OpenToOthers(true);
  std::filesystem::permissions(dir_, std::filesystem::perms::all);
  // Two units, each refused at every search.
  const Outcome run = RunAsNobody(
      {"--usb", "kestrin", "-c", "IsDevicePresent; SetSerial KS-1; IsDevicePresent; LastError"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "IsDevicePresent -> 0\nSetSerial -> 0\nIsDevicePresent -> 0\nLastError -> 1\n");
  EXPECT_EQ(run.err,
            "zelctl: no permission to open the unit at USB 1-2 (\\\\.\\ezusb-0): install the "
            "udev rule examples/linux/60-zelusb.rules into /etc/udev/rules.d/ and plug the unit "
            "in again\n");
}

// Without a way to watch for hotplug events libusb does not start.
TEST_F(UsbZelctl, WhenLibusbCannotStartTheSessionDoesNot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run zelctl as another user";
  if (std::system("command -v setpriv > /dev/null") != 0) GTEST_SKIP() << "needs setpriv";
  sim::Bench bench;
  UsbTestbed testbed(bench);
  testbed.OpenToOthers(false);
  std::filesystem::permissions(dir_, std::filesystem::perms::all);
  const Outcome run = RunAsNobody({"--usb", "kestrin", "-c", "LastError"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("zelctl: libusb cannot start: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST_F(UsbZelctl, UsbRefusesABenchOrLiveTime) {
  Outcome run = Run({"--usb", "--bench", Write("b.json", R"({"units": []})"), "kestrin"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("zelctl: --usb and --bench exclude each other\n", 0), 0u) << run.err;
  run = Run({"kestrin", "--live", "--usb"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("zelctl: --live needs a bench, not --usb\n", 0), 0u) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace zel::testing
