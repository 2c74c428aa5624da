// zelctl, the instrument shell: creates a control, runs calls on it and prints their results.
// Exit status 0 when every line ran, 1 when a line was reported, 2 when the session could not
// start (command line, bench description, trace file, libusb).
#include <array>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

#include "sim/bench.h"
#include "sim/bench_description.h"
#include "tools/zelctl_list.h"
#include "tools/zelctl_options.h"
#include "tools/zelctl_shell.h"
#include "tools/zelctl_trace.h"

#ifdef _WIN32
#include "platform/driver_win32.h"
#endif
#ifdef ZEL_HAVE_LIBUSB
#include "platform/driver_libusb.h"
#endif

namespace {

constexpr int kStartFailed = 2;

#ifdef _WIN32
constexpr bool kHaveHardwareDriver = true;
std::unique_ptr<zel::Driver> MakeHardwareDriver() {
  return std::make_unique<zel::Win32Driver>();
}
#else
constexpr bool kHaveHardwareDriver = false;
std::unique_ptr<zel::Driver> MakeHardwareDriver() {
  return nullptr;
}
#endif

int Refuse(const std::string& message) {
  std::cerr << "zelctl: " << message << '\n';
  return kStartFailed;
}

#ifdef ZEL_HAVE_LIBUSB
constexpr const char kUdevHint[] =
    "install the udev rule examples/linux/60-zelusb.rules into /etc/udev/rules.d/ and plug the "
    "unit in again";

// Starts libusb; nullptr with `error` set when it cannot. A unit refused to this user, or found
// unconfigured, is reported once per session for each of the two reasons, with the remedy.
std::unique_ptr<zel::LibusbDriver> StartLibusb(std::string& error) {
  using Refusal = zel::LibusbDriver::Refusal;
  auto driver = zel::LibusbDriver::Start(error);
  if (!driver) return nullptr;
  driver->OnRefused([told = std::array<bool, 2>{}](Refusal reason, const std::string& device,
                                                   const std::string& where) mutable {
    bool& once = told[reason == Refusal::kAccess ? 0 : 1];
    if (once) return;
    once = true;
    if (reason == Refusal::kAccess) {
      std::cerr << "zelctl: no permission to open the unit at USB " << where << " (" << device
                << "): " << kUdevHint << '\n';
    } else {
      std::cerr << "zelctl: the unit at USB " << where << " (" << device
                << ") is attached but not configured: it may lack power (a bus-powered hub); "
                   "plug it into another port\n";
    }
  });
  return driver;
}
#endif

// The units attached to this machine; nullptr with `error` set when they cannot be reached.
std::unique_ptr<zel::Driver> StartUsbDriver(std::string& error) {
#ifdef ZEL_HAVE_LIBUSB
  auto driver = StartLibusb(error);
  if (driver && !zel::LibusbDriver::UsbfsPresent()) {
    std::cerr << "zelctl: /dev/bus/usb is missing, so no unit can be reached (no usbfs, as in a "
                 "container)\n";
  }
  return driver;
#elif defined(_WIN32)
  (void)error;
  return MakeHardwareDriver();  // the legacy driver's device files, else WinUSB
#else
  error = "--usb: this zelctl was built without libusb-1.0";
  return nullptr;
#endif
}

// zelctl --usb --list.
int ListUsbUnits() {
#ifdef ZEL_HAVE_LIBUSB
  std::string error;
  auto driver = StartLibusb(error);
  if (!driver && zel::LibusbDriver::UsbfsPresent()) return Refuse(error);
  zel::zelctl::PrintUnitList(driver ? driver->List() : std::vector<zel::ListedUnit>{},
                             {!zel::LibusbDriver::UsbfsPresent(), kUdevHint}, std::cout);
  return 0;
#elif defined(_WIN32)
  // The units WinUSB reaches; those of the legacy driver have device files of their own.
  zel::Win32Driver driver;
  zel::zelctl::PrintUnitList(
      driver.WinUsb().List(),
      {false, "a refused unit is open in another program, or held by a driver that lets no one "
              "else open it"},
      std::cout);
  return 0;
#else
  return Refuse("--usb: this zelctl was built without libusb-1.0");
#endif
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zel;
  std::string error;
  const auto options = zelctl::ParseOptions({argv + 1, argv + argc}, error);
  if (!options) return Refuse(error + "\n" + zelctl::UsageText());
  if (options->help) {
    std::cout << zelctl::UsageText();
    return 0;
  }
  if (options->list) return ListUsbUnits();

  // Read first, so a malformed description leaves no trace file behind. Off Windows there is
  // no driver for real units, so the default bench stands in.
  std::optional<sim::BenchConfig> config;
  if (options->bench) {
    config = sim::LoadBenchDescription(*options->bench, error);
    if (!config) return Refuse(error);
  } else if (!kHaveHardwareDriver && !options->usb) {
    config = sim::DefaultBench();
  }
  std::unique_ptr<Driver> hardware;
  if (options->usb) {
    hardware = StartUsbDriver(error);
    if (!hardware) return Refuse(error);
  }

  // Declared before the drivers, so it outlives every operation it records.
  std::ofstream traceFile;
  if (options->trace) {
    traceFile.open(*options->trace, std::ios::binary | std::ios::trunc);
    if (!traceFile) return Refuse(*options->trace + ": cannot be written");
  }
  auto writeTrace = [&traceFile](const sim::TraceEntry& entry) {
    traceFile << sim::FormatTrace(entry) << '\n';
  };

  std::unique_ptr<sim::Bench> bench;
  std::unique_ptr<zelctl::TracingDriver> tracer;
  Driver* driver = nullptr;
  if (config) {
    bench = std::make_unique<sim::Bench>(
        *config, options->live ? sim::Clocking::kLive : sim::Clocking::kVirtual);
  } else if (!hardware) {
    hardware = MakeHardwareDriver();
  }
  if (bench) {
    // The shell never looks back at the bench's record, so keep none in memory.
    bench->SetTraceRecording(false);
    if (options->trace) bench->SetTraceSink(writeTrace);
    driver = bench.get();
  } else if (options->trace) {
    tracer = std::make_unique<zelctl::TracingDriver>(*hardware, writeTrace);
    driver = tracer.get();
  } else {
    driver = hardware.get();
  }

  zelctl::Shell shell(*driver, options->firmwareDirectory, std::cout, std::cerr);
  shell.Create(options->kind);
  if (options->calls) {
    shell.RunCalls(*options->calls);
  } else {
    shell.RunLines(std::cin);
  }
  std::cout.flush();
  return shell.Failed() ? 1 : 0;
}
