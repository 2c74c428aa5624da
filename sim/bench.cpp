#include "sim/bench.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "link/ezusb_protocol.h"

namespace zel::sim {

struct Bench::Chip {
  UnitConfig unit;
  std::array<std::uint8_t, ezusb::kDescriptorSize> descriptor{};
  Memory memory{};
  bool plugged = true;
  bool open = false;
  bool cpuRunning = false;
  int refuseOpens = 0;  // < 0: refuse every open
  // The last write delivered on the open handle while its copy may still follow, and the
  // request time that then passes after the copy.
  bool copyMayFollow = false;
  std::uint16_t lastWriteAddress = 0;
  std::vector<std::uint8_t> lastWrite;
  std::uint64_t owedMicros = 0;
  std::unique_ptr<Firmware> firmware;  // set while a complete image runs
  ImageTracker image;
};

namespace {

// Opens are exclusive, so the device number identifies an open handle; 0 stays unused.
DriverHandle HandleOf(int device) {
  return static_cast<DriverHandle>(device) + 1;
}
int DeviceOf(DriverHandle handle) {
  return handle >= 1 && handle <= ezusb::kDeviceCount ? static_cast<int>(handle - 1) : -1;
}

template <typename T>
bool TakeFirst(std::vector<T>& list, const T& value) {
  auto it = std::find(list.begin(), list.end(), value);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

}  // namespace

// Whether a write request repeats the write last delivered on the chip's open handle, as the
// request right after it.
bool Bench::IsCopyOfLastWrite(const Chip& chip, std::uint32_t code, const void* in,
                              std::uint32_t inSize, const void* out, std::uint32_t outSize) const {
  if (!chip.copyMayFollow || code != ezusb::kIoctlAnchorDownload || in == nullptr || inSize != 2)
    return false;
  if (ezusb::Get16(static_cast<const std::uint8_t*>(in)) != chip.lastWriteAddress) return false;
  if (outSize != chip.lastWrite.size()) return false;
  return outSize == 0 || (out != nullptr && std::memcmp(out, chip.lastWrite.data(), outSize) == 0);
}

Bench::Bench(const BenchConfig& config, Clocking clocking)
    : clocking_(clocking), requestMicros_(config.requestMicros), chips_(ezusb::kDeviceCount) {
  for (const auto& unit : config.units) Attach(unit);
}

Bench::~Bench() = default;

std::uint64_t Bench::Now() const {
  if (clocking_ == Clocking::kVirtual) return virtualNow_;
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now() - started_)
                                        .count());
}

Bench::Chip* Bench::ChipAt(int device) const {
  if (device < 0 || device >= ezusb::kDeviceCount) return nullptr;
  return chips_[static_cast<std::size_t>(device)].get();
}

Bench::Chip& Bench::RequireChip(int device) const {
  Chip* chip = ChipAt(device);
  if (chip == nullptr) throw std::out_of_range("no bench unit at device " + std::to_string(device));
  return *chip;
}

void Bench::Attach(const UnitConfig& unit) {
  if (unit.device < 0 || unit.device >= ezusb::kDeviceCount)
    throw std::out_of_range("device number must be 0 to 127");
  std::lock_guard lock(mutex_);
  auto chip = std::make_unique<Chip>();
  chip->unit = unit;
  auto& d = chip->descriptor;
  d[0] = ezusb::kDescriptorSize;
  d[1] = 1;  // DEVICE descriptor
  ezusb::Put16(&d[2], 0x0110);
  d[7] = 64;
  ezusb::Put16(&d[ezusb::kDescriptorVendor], unit.vendor.value_or(ezusb::kVendorId));
  ezusb::Put16(&d[ezusb::kDescriptorProduct], unit.product.value_or(ModelProductId(unit.model)));
  ezusb::Put16(&d[ezusb::kDescriptorRelease], unit.release.value_or(0));
  d[17] = 1;
  chip->plugged = !unit.unplugged;
  if (unit.unplugAtMillis) events_.push_back({*unit.unplugAtMillis * 1000, unit.device, false});
  chip->memory[ezusb::kCpucs] = 1;  // a fresh chip holds its 8051 in reset
  if (unit.firmwareRunning) {
    chip->memory[ezusb::kCpucs] = 0;
    chip->cpuRunning = true;
    chip->firmware = MakeFirmware(unit);
    chip->firmware->Start(chip->memory, Now());
  }
  chips_[static_cast<std::size_t>(unit.device)] = std::move(chip);
}

void Bench::Detach(int device) {
  std::lock_guard lock(mutex_);
  if (ChipAt(device) != nullptr) chips_[static_cast<std::size_t>(device)].reset();
}

bool Bench::HasUnit(int device) const {
  std::lock_guard lock(mutex_);
  return ChipAt(device) != nullptr;
}

bool Bench::Plugged(int device) const {
  std::lock_guard lock(mutex_);
  const Chip* chip = ChipAt(device);
  return chip != nullptr && chip->plugged;
}

void Bench::RunFirmware(Chip& chip) {
  if (chip.cpuRunning && chip.firmware) chip.firmware->Advance(chip.memory, Now());
}

// A host write lands in memory; CPUCS holds or releases the 8051; a running firmware sees the
// write, a held chip counts it towards its image.
void Bench::WriteChip(Chip& chip, std::uint16_t address, const std::uint8_t* data,
                      std::uint32_t length) {
  for (std::uint32_t i = 0; i < length; ++i)
    chip.memory[static_cast<std::uint16_t>(address + i)] = data[i];
  if (Touches(address, length, ezusb::kCpucs)) {
    if (chip.memory[ezusb::kCpucs] & 1) {
      chip.cpuRunning = false;
      chip.firmware.reset();
      chip.image.OnReset();
    } else if (!chip.cpuRunning) {
      chip.cpuRunning = true;
      if (chip.image.Bootable(chip.memory, chip.unit.model)) {
        chip.firmware = MakeFirmware(chip.unit);
        chip.firmware->Start(chip.memory, Now());
      }
    }
    return;
  }
  if (!chip.cpuRunning) {
    chip.image.OnWrite(address, length);
  } else if (chip.firmware) {
    chip.firmware->OnHostWrite(chip.memory, address, length, Now());
  }
}

void Bench::SetPlugged(Chip& chip, bool plugged) {
  if (chip.plugged == plugged) return;
  chip.plugged = plugged;
  if (plugged) {
    // Power came back: RAM is lost and the 8051 waits in reset for a new download.
    chip.memory.fill(0);
    chip.memory[ezusb::kCpucs] = 1;
    chip.cpuRunning = false;
    chip.firmware.reset();
    chip.image.OnReset();
  }
}

void Bench::ApplyEvents() {
  const std::uint64_t now = Now();
  for (auto it = events_.begin(); it != events_.end();) {
    if (it->at <= now) {
      if (Chip* chip = ChipAt(it->device)) SetPlugged(*chip, it->plug);
      it = events_.erase(it);
    } else {
      ++it;
    }
  }
}

// A request's time passes after it, on the virtual clock.
void Bench::PassRequestTime(std::uint64_t micros) {
  if (clocking_ != Clocking::kVirtual || micros == 0) return;
  virtualNow_ += micros;
  ApplyEvents();
}

// The time of a first copy whose second copy did not follow.
void Bench::PayOwedTime(Chip& chip) {
  chip.copyMayFollow = false;
  const std::uint64_t owed = chip.owedMicros;
  chip.owedMicros = 0;
  PassRequestTime(owed);
}

void Bench::Record(TraceEntry entry) {
  entry.atMicros = Now();
  entry.thread = std::this_thread::get_id();
  if (sink_) sink_(entry);
  if (recording_) trace_.push_back(std::move(entry));
}

DriverHandle Bench::Open(const char* name) noexcept {
  std::lock_guard lock(mutex_);
  ApplyEvents();
  const int device = ezusb::DeviceNumberOf(name);
  Chip* chip = ChipAt(device);
  bool ok = chip != nullptr && chip->plugged && !chip->open;
  if (ok && chip->refuseOpens != 0) {
    if (chip->refuseOpens > 0) --chip->refuseOpens;
    ok = false;
  }
  TraceEntry entry;
  entry.kind = TraceKind::kOpen;
  entry.device = device;
  entry.ok = ok;
  Record(std::move(entry));
  PassRequestTime(requestMicros_);
  if (!ok) return kNoDriverHandle;
  chip->open = true;
  return HandleOf(device);
}

void Bench::Close(DriverHandle handle) noexcept {
  std::lock_guard lock(mutex_);
  const int device = DeviceOf(handle);
  Chip* chip = ChipAt(device);
  if (chip == nullptr || !chip->open) return;
  PayOwedTime(*chip);
  chip->open = false;
  TraceEntry entry;
  entry.kind = TraceKind::kClose;
  entry.device = device;
  Record(std::move(entry));
}

bool Bench::Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                    void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept {
  std::lock_guard lock(mutex_);
  returned = 0;
  ApplyEvents();
  ++requests_;
  const int device = DeviceOf(handle);
  for (auto it = unplugAt_.begin(); it != unplugAt_.end();) {
    if (it->first == requests_) {
      if (Chip* chip = ChipAt(it->second)) SetPlugged(*chip, false);
      it = unplugAt_.erase(it);
    } else {
      ++it;
    }
  }
  TraceEntry entry;
  entry.device = device;
  entry.code = code;
  entry.kind = code == ezusb::kIoctlAnchorDownload        ? TraceKind::kWrite
               : code == ezusb::kIoctlVendorRequest       ? TraceKind::kRead
               : code == ezusb::kIoctlGetDeviceDescriptor ? TraceKind::kDescriptor
                                                          : TraceKind::kOther;
  Chip* chip = ChipAt(device);
  bool ok = chip != nullptr && chip->plugged && chip->open;
  if (TakeFirst(failAt_, requests_)) ok = false;
  if (ok && TakeFirst(failNext_, entry.kind)) ok = false;
  std::uint64_t passes = requestMicros_;
  if (ok && IsCopyOfLastWrite(*chip, code, in, inSize, out, outSize)) {
    // The second copy of the write just delivered: the firmware already has it.
    entry.address = chip->lastWriteAddress;
    entry.bytes = chip->lastWrite;
    passes += chip->owedMicros;
    chip->owedMicros = 0;
    chip->copyMayFollow = false;
  } else {
    if (chip != nullptr) PayOwedTime(*chip);
    if (ok) ok = Serve(*chip, code, in, inSize, out, outSize, returned, entry);
    if (ok && entry.kind == TraceKind::kWrite) {
      // Its time passes after its copy, or before whatever comes instead.
      chip->copyMayFollow = true;
      chip->lastWriteAddress = entry.address;
      chip->lastWrite = entry.bytes;
      chip->owedMicros = passes;
      passes = 0;
    } else if (!ok && (entry.kind == TraceKind::kWrite || entry.kind == TraceKind::kRead)) {
      // Still show what was asked for.
      const auto* setup = static_cast<const std::uint8_t*>(in);
      if (entry.kind == TraceKind::kWrite && setup != nullptr && inSize >= 2) {
        entry.address = ezusb::Get16(setup);
        const auto* data = static_cast<const std::uint8_t*>(out);
        if (data != nullptr) entry.bytes.assign(data, data + outSize);
      } else if (setup != nullptr && inSize >= ezusb::vendor_request::kSize) {
        entry.address = ezusb::Get16(setup + ezusb::vendor_request::kValue);
        entry.asked = ezusb::Get16(setup + ezusb::vendor_request::kLength);
      }
    }
  }
  entry.ok = ok;
  Record(std::move(entry));
  PassRequestTime(passes);
  return ok;
}

bool Bench::Serve(Chip& chip, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                  std::uint32_t outSize, std::uint32_t& returned, TraceEntry& entry) {
  const auto* input = static_cast<const std::uint8_t*>(in);
  auto* output = static_cast<std::uint8_t*>(out);
  RunFirmware(chip);
  switch (code) {
    case ezusb::kIoctlAnchorDownload: {
      if (input == nullptr || inSize != 2 || (output == nullptr && outSize != 0)) return false;
      entry.address = ezusb::Get16(input);
      entry.bytes.assign(output, output + outSize);
      if (TakeFirst(lostWrites_, std::pair{chip.unit.device, entry.address}))
        return true;  // gone on the way: the request succeeds, the chip never sees it
      WriteChip(chip, entry.address, output, outSize);
      return true;
    }
    case ezusb::kIoctlVendorRequest: {
      namespace vr = ezusb::vendor_request;
      if (input == nullptr || inSize != vr::kSize) return false;
      entry.address = ezusb::Get16(input + vr::kValue);
      entry.asked = ezusb::Get16(input + vr::kLength);
      if (input[vr::kRequest] != vr::kFirmwareLoad || input[vr::kDirection] != vr::kDeviceToHost)
        return false;
      const std::uint32_t count = std::min(entry.asked, outSize);
      if (output == nullptr && count != 0) return false;
      for (std::uint32_t i = 0; i < count; ++i)
        output[i] = chip.memory[static_cast<std::uint16_t>(entry.address + i)];
      entry.bytes.assign(output, output + count);
      returned = count;
      return true;
    }
    case ezusb::kIoctlGetDeviceDescriptor: {
      if (output == nullptr || outSize < ezusb::kDescriptorSize) return false;
      std::memcpy(output, chip.descriptor.data(), ezusb::kDescriptorSize);
      returned = ezusb::kDescriptorSize;
      return true;
    }
    default:
      return false;
  }
}

void Bench::Sleep(std::uint32_t milliseconds) noexcept {
  {
    std::lock_guard lock(mutex_);
    TraceEntry entry;
    entry.kind = TraceKind::kSleep;
    entry.milliseconds = milliseconds;
    Record(std::move(entry));
    if (clocking_ == Clocking::kVirtual) {
      virtualNow_ += std::uint64_t{milliseconds} * 1000;
      ApplyEvents();
      return;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint8_t Bench::Peek(int device, std::uint16_t address) {
  std::lock_guard lock(mutex_);
  Chip& chip = RequireChip(device);
  RunFirmware(chip);
  return chip.memory[address];
}

std::uint32_t Bench::Peek32(int device, std::uint16_t address) {
  std::lock_guard lock(mutex_);
  Chip& chip = RequireChip(device);
  RunFirmware(chip);
  std::uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = chip.memory[static_cast<std::uint16_t>(address + i)];
  return ezusb::Get32(bytes);
}

void Bench::Poke(int device, std::uint16_t address, std::uint8_t value) {
  PokeBytes(device, address, {value});
}

// Sets memory as if the unit itself had put it there: the firmware is not told.
void Bench::PokeBytes(int device, std::uint16_t address, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  Chip& chip = RequireChip(device);
  RunFirmware(chip);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    chip.memory[static_cast<std::uint16_t>(address + i)] = bytes[i];
}

bool Bench::FirmwareRunning(int device) const {
  std::lock_guard lock(mutex_);
  const Chip* chip = ChipAt(device);
  return chip != nullptr && chip->cpuRunning && chip->firmware != nullptr;
}

void Bench::PowerCycle(int device) {
  std::lock_guard lock(mutex_);
  Chip& chip = RequireChip(device);
  SetPlugged(chip, false);
  SetPlugged(chip, true);
}

int Bench::OpenHandles() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count_if(chips_.begin(), chips_.end(),
                                        [](const auto& chip) { return chip && chip->open; }));
}

std::uint64_t Bench::NowMicros() const {
  std::lock_guard lock(mutex_);
  return Now();
}

void Bench::AdvanceMicros(std::uint64_t micros) {
  std::lock_guard lock(mutex_);
  if (clocking_ == Clocking::kVirtual) virtualNow_ += micros;
  ApplyEvents();
}

std::vector<TraceEntry> Bench::Trace() const {
  std::lock_guard lock(mutex_);
  return trace_;
}

std::vector<std::string> Bench::TraceLines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> lines;
  lines.reserve(trace_.size());
  for (const auto& e : trace_) lines.push_back(FormatTrace(e));
  return lines;
}

void Bench::ClearTrace() {
  std::lock_guard lock(mutex_);
  trace_.clear();
}

void Bench::SetTraceRecording(bool on) {
  std::lock_guard lock(mutex_);
  recording_ = on;
}

void Bench::Mark(std::string label) {
  std::lock_guard lock(mutex_);
  TraceEntry entry;
  entry.kind = TraceKind::kMark;
  entry.label = std::move(label);
  Record(std::move(entry));
}

void Bench::SetTraceSink(std::function<void(const TraceEntry&)> sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

std::uint64_t Bench::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void Bench::RefuseOpens(int device, int count) {
  std::lock_guard lock(mutex_);
  RequireChip(device).refuseOpens = count;
}

void Bench::FailRequest(std::uint64_t k) {
  std::lock_guard lock(mutex_);
  failAt_.push_back(requests_ + k);
}

void Bench::FailNextRequest(TraceKind kind) {
  std::lock_guard lock(mutex_);
  failNext_.push_back(kind);
}

void Bench::LoseNextWrite(int device, std::uint16_t address) {
  std::lock_guard lock(mutex_);
  lostWrites_.emplace_back(device, address);
}

void Bench::UnplugBeforeRequest(std::uint64_t k, int device) {
  std::lock_guard lock(mutex_);
  unplugAt_.emplace_back(requests_ + k, device);
}

void Bench::Unplug(int device) {
  std::lock_guard lock(mutex_);
  SetPlugged(RequireChip(device), false);
}

void Bench::Replug(int device) {
  std::lock_guard lock(mutex_);
  SetPlugged(RequireChip(device), true);
}

void Bench::UnplugAt(int device, std::uint64_t atMicros) {
  std::lock_guard lock(mutex_);
  events_.push_back({atMicros, device, false});
}

void Bench::ReplugAt(int device, std::uint64_t atMicros) {
  std::lock_guard lock(mutex_);
  events_.push_back({atMicros, device, true});
}

}  // namespace zel::sim
