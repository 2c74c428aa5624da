// zelctl --usb as its users run it: a process of its own, here on the emulated bus of this
// test process (the child inherits the umockdev preload and the testbed), on real time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
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

TEST_F(UsbZelctl, WithoutUnitsItAnswersAsAnEmptyBench) {
  sim::Bench bench;
  UsbTestbed testbed(bench);
  const Outcome run = Run({"--usb", "kestrin", "-c", "IsDevicePresent; LastError"});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "IsDevicePresent -> 0\nLastError -> 1\n");
}

// As a user without the udev rule: the device node is root's alone.
TEST_F(UsbZelctl, AUnitRefusedToTheUserNamesTheUdevRuleOnce) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run zelctl as another user";
  if (std::system("command -v setpriv > /dev/null") != 0) GTEST_SKIP() << "needs setpriv";
  sim::Bench bench(Bench({Unit(0, sim::UnitModel::kKestrin, true)}), sim::Clocking::kLive);
  UsbTestbed testbed(bench);
  testbed.Plug(0, 1, 2);
  testbed.OpenToOthers(true);
  std::filesystem::permissions(dir_, std::filesystem::perms::all);
  const Outcome run = RunAsNobody({"--usb", "kestrin", "-c", "IsDevicePresent; LastError"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "IsDevicePresent -> 0\nLastError -> 1\n");
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
