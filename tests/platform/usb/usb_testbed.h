// An emulated USB bus for the libusb driver: umockdev puts the units into a private sysfs and
// /dev/bus/usb, and answers libusb's usbfs requests (capabilities, claim and release of
// interfaces, control URBs submitted, reaped and discarded) from the bench's EZ-USB chips. A
// claim is a bench open and each control transfer one bench request, so the bench's trace and
// faults apply unchanged behind real libusb. Needs the umockdev preload (umockdev-wrapper).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "sim/bench.h"

namespace zel::testing {

class UsbTestbed {
 public:
  explicit UsbTestbed(sim::Bench& bench);
  ~UsbTestbed();
  UsbTestbed(const UsbTestbed&) = delete;
  UsbTestbed& operator=(const UsbTestbed&) = delete;

  // Whether the process runs under the umockdev preload.
  static bool Available();

  // Puts the bench's unit at `benchDevice` on bus `bus`, port `port` of the root hub, with the
  // bench's own device descriptor.
  void Plug(int benchDevice, int bus, int port);
  // A device of another maker, with nothing behind it.
  void PlugForeign(int bus, int port, std::uint16_t vendor, std::uint16_t product);
  // The unit leaves the bus (its bench unit is unplugged too) and comes back at the same port
  // with a new address, as after a power cycle.
  void Unplug(int benchDevice);
  void Replug(int benchDevice);
  // The unit stays on the bus without a configuration, as behind a hub short of power: its
  // interface cannot be claimed.
  void Unconfigure(int benchDevice);

  // Lets other users read the emulated sysfs, while the device nodes stay root's alone, as
  // they are without the udev rule. With `hotplug` they may also listen for hotplug events,
  // which libusb needs to start.
  void OpenToOthers(bool hotplug);

  // The next control transfer is taken but never answered: libusb times out and discards it.
  void HoldNextTransfer();
  // Transfers discarded so far, and claims standing now.
  int Discarded() const;
  int Claims() const;

 private:
  struct Node;

  void Add(Node& node);
  void Remove(Node& node);
  Node* Find(int benchDevice);

  sim::Bench& bench_;
  void* testbed_;  // UMockdevTestbed
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Node>> nodes_;
  std::vector<int> rootHubs_;
  int nextAddress_ = 2;  // 1 is each bus's root hub
  bool holdNext_ = false;
  int discarded_ = 0;

  friend struct UsbfsHandler;
};

// The libusb driver for transfers, the bench's clock for pauses: the in-process tests keep
// virtual time while every request still crosses libusb and usbfs.
class BenchPaced final : public Driver {
 public:
  BenchPaced(Driver& transfers, sim::Bench& clock) : transfers_(transfers), clock_(clock) {}
  DriverHandle Open(const char* name) noexcept override { return transfers_.Open(name); }
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override {
    return transfers_.Request(handle, code, in, inSize, out, outSize, returned);
  }
  void Close(DriverHandle handle) noexcept override { transfers_.Close(handle); }
  void Sleep(std::uint32_t milliseconds) noexcept override { clock_.Sleep(milliseconds); }

 private:
  Driver& transfers_;
  sim::Bench& clock_;
};

}  // namespace zel::testing
