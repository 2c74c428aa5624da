// The virtual bench: a driver that stands in for the Cypress driver and the units attached to
// it, indistinguishable from hardware at the driver seam. Up to 128 device numbers, each an
// EZ-USB chip with its descriptor, 64 KiB of memory, the CPUCS register and, while its CPU
// runs a complete image of its model, that model's firmware. It keeps a clock (virtual by
// default: only Sleep moves it; live: real time), a trace of every operation, and faults to
// inject. Thread-safe: every operation runs under the bench's own mutex.
//
// The link sends every memory write as two identical requests, and a unit's firmware takes the
// two as one write. So the bench delivers the first copy to the chip and lets the second one,
// the next request on the same open handle with the same address and bytes, pass without
// delivering it again; with a request time, the time of both passes after the second.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "sim/bench_config.h"
#include "sim/firmware.h"
#include "sim/firmware_image.h"
#include "sim/trace.h"

namespace zel::sim {

enum class Clocking { kVirtual, kLive };

class Bench final : public Driver {
 public:
  explicit Bench(const BenchConfig& config = {}, Clocking clocking = Clocking::kVirtual);
  ~Bench() override;
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  // The driver seam.
  DriverHandle Open(const char* name) noexcept override;
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override;
  void Close(DriverHandle handle) noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;

  // Units. Attach replaces whatever sits at the unit's device number.
  void Attach(const UnitConfig& unit);
  void Detach(int device);
  bool HasUnit(int device) const;
  // Whether a unit sits at `device` and is plugged in.
  bool Plugged(int device) const;
  // Direct access to a chip's memory, bypassing the driver (no trace, no faults). The
  // firmware is brought up to the current time first.
  std::uint8_t Peek(int device, std::uint16_t address);
  std::uint32_t Peek32(int device, std::uint16_t address);
  void Poke(int device, std::uint16_t address, std::uint8_t value);
  void PokeBytes(int device, std::uint16_t address, const std::vector<std::uint8_t>& bytes);
  bool FirmwareRunning(int device) const;
  // Power lost and back: firmware gone, memory cleared, 8051 held in reset.
  void PowerCycle(int device);
  // Handles open right now, over all devices.
  int OpenHandles() const;

  // Clock, in microseconds since the bench was built.
  std::uint64_t NowMicros() const;
  void AdvanceMicros(std::uint64_t micros);  // virtual clock only

  // Trace.
  std::vector<TraceEntry> Trace() const;
  std::vector<std::string> TraceLines() const;
  void ClearTrace();
  void SetTraceRecording(bool on);  // off: nothing is kept in memory (the sink still runs)
  void SetTraceSink(std::function<void(const TraceEntry&)> sink);
  // Puts a label into the trace, on the calling thread: tests bracket operations with marks.
  void Mark(std::string label);

  // Faults. Requests are the driver's DeviceIoControl calls, counted from the bench's start.
  std::uint64_t RequestCount() const;
  void RefuseOpens(int device, int count = 1);            // count < 0: every open from now on
  void FailRequest(std::uint64_t k);                      // the k-th request from now on fails
  void FailNextRequest(TraceKind kind);                   // kDescriptor, kWrite, kRead or kOther
  void UnplugBeforeRequest(std::uint64_t k, int device);  // k counted from now on
  // The next write to `address` of `device` (with its copy) succeeds but never reaches the
  // chip, as a unit that did not take a command.
  void LoseNextWrite(int device, std::uint16_t address);
  void Unplug(int device);
  void Replug(int device);  // comes back as after a power cycle
  void UnplugAt(int device, std::uint64_t atMicros);
  void ReplugAt(int device, std::uint64_t atMicros);

 private:
  struct Chip;
  struct Event {
    std::uint64_t at;
    int device;
    bool plug;
  };

  Chip* ChipAt(int device) const;
  Chip& RequireChip(int device) const;
  std::uint64_t Now() const;
  void ApplyEvents();
  void Record(TraceEntry entry);
  void RunFirmware(Chip& chip);
  void WriteChip(Chip& chip, std::uint16_t address, const std::uint8_t* data, std::uint32_t length);
  bool Serve(Chip& chip, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
             std::uint32_t outSize, std::uint32_t& returned, TraceEntry& entry);
  void SetPlugged(Chip& chip, bool plugged);
  bool IsCopyOfLastWrite(const Chip& chip, std::uint32_t code, const void* in, std::uint32_t inSize,
                         const void* out, std::uint32_t outSize) const;
  void PassRequestTime(std::uint64_t micros);
  void PayOwedTime(Chip& chip);

  mutable std::mutex mutex_;
  const Clocking clocking_;
  const std::uint64_t requestMicros_;
  const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::uint64_t virtualNow_ = 0;
  std::vector<std::unique_ptr<Chip>> chips_;  // indexed by device number

  std::vector<TraceEntry> trace_;
  bool recording_ = true;
  std::function<void(const TraceEntry&)> sink_;

  std::uint64_t requests_ = 0;
  std::vector<std::uint64_t> failAt_;
  std::vector<TraceKind> failNext_;
  std::vector<std::pair<std::uint64_t, int>> unplugAt_;    // (request number, device)
  std::vector<std::pair<int, std::uint16_t>> lostWrites_;  // (device, address)
  std::vector<Event> events_;
};

}  // namespace zel::sim
