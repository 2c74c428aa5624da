// Walks the default bench with a device link and narrates what the link sees.
#include <cstdio>

#include "link/ez_usb_link.h"
#include "sim/bench.h"

int main() {
  using namespace zel;
  sim::BenchConfig config = sim::DefaultBench();
  config.units[1].firmwareRunning = true;  // the Kestrin unit already runs its firmware
  sim::Bench bench(config);
  EzUsbLink link(bench);
  link.SetFilters(ezusb::kVendorId, 0, 0);  // any product of the maker

  std::printf("Searching the bench for units of vendor 0x%04X...\n", ezusb::kVendorId);
  for (bool found = link.FindFirstDevice(); found; found = link.FindNextDevice()) {
    const auto* d = link.GetDeviceDescriptor();
    std::printf("  device %d: vendor 0x%04X product 0x%04X release 0x%04X\n", link.DeviceIndex(),
                ezusb::Get16(d->data() + ezusb::kDescriptorVendor),
                ezusb::Get16(d->data() + ezusb::kDescriptorProduct),
                ezusb::Get16(d->data() + ezusb::kDescriptorRelease));
    const auto before = bench.NowMicros();
    const bool running = link.IsFirmwareRunning();
    std::printf("    heartbeat check: firmware %s (%llu ms of bench time)\n",
                running ? "running" : "not running",
                static_cast<unsigned long long>((bench.NowMicros() - before) / 1000));
  }
  std::printf("Search ended at device number %d with status %d, \"%s\".\n", link.DeviceIndex(),
              static_cast<int>(link.GetStatus()), StatusMessage(link.GetStatus()));
  std::printf("Driver operations issued: %zu (%llu requests).\n", bench.Trace().size(),
              static_cast<unsigned long long>(bench.RequestCount()));
  return 0;
}
