#include "tools/zelctl_trace.h"

#include "platform/ezusb_requests.h"

namespace zel::zelctl {

void TracingDriver::Emit(const sim::TraceEntry& entry) noexcept {
  try {
    if (sink_) sink_(entry);
  } catch (...) {
    // A trace that cannot be written must not take the driver operation down with it.
  }
}

DriverHandle TracingDriver::Open(const char* name) noexcept {
  const DriverHandle handle = inner_.Open(name);
  sim::TraceEntry entry;
  entry.kind = sim::TraceKind::kOpen;
  entry.device = ezusb::DeviceNumberOf(name);
  entry.ok = handle != kNoDriverHandle;
  if (entry.ok) {
    try {
      devices_[handle] = entry.device;
    } catch (...) {
    }
  }
  Emit(entry);
  return handle;
}

bool TracingDriver::Request(DriverHandle handle, std::uint32_t code, const void* in,
                            std::uint32_t inSize, void* out, std::uint32_t outSize,
                            std::uint32_t& returned) noexcept {
  const bool ok = inner_.Request(handle, code, in, inSize, out, outSize, returned);
  sim::TraceEntry entry;
  const auto found = devices_.find(handle);
  entry.device = found == devices_.end() ? -1 : found->second;
  entry.code = code;
  entry.ok = ok;
  const auto* input = static_cast<const std::uint8_t*>(in);
  const auto* output = static_cast<const std::uint8_t*>(out);
  namespace vr = ezusb::vendor_request;
  try {
    if (code == ezusb::kIoctlAnchorDownload) {
      entry.kind = sim::TraceKind::kWrite;
      if (input != nullptr && inSize >= 2) entry.address = ezusb::Get16(input);
      if (output != nullptr) entry.bytes.assign(output, output + outSize);
    } else if (code == ezusb::kIoctlVendorRequest) {
      entry.kind = sim::TraceKind::kRead;
      if (input != nullptr && inSize >= vr::kSize) {
        entry.address = ezusb::Get16(input + vr::kValue);
        entry.asked = ezusb::Get16(input + vr::kLength);
      }
      if (ok && output != nullptr)
        entry.bytes.assign(output, output + (returned < outSize ? returned : outSize));
    } else if (code == ezusb::kIoctlGetDeviceDescriptor) {
      entry.kind = sim::TraceKind::kDescriptor;
    } else {
      entry.kind = sim::TraceKind::kOther;
    }
  } catch (...) {
  }
  Emit(entry);
  return ok;
}

void TracingDriver::Close(DriverHandle handle) noexcept {
  inner_.Close(handle);
  const auto found = devices_.find(handle);
  if (found == devices_.end()) return;
  sim::TraceEntry entry;
  entry.kind = sim::TraceKind::kClose;
  entry.device = found->second;
  devices_.erase(found);
  Emit(entry);
}

void TracingDriver::Sleep(std::uint32_t milliseconds) noexcept {
  sim::TraceEntry entry;
  entry.kind = sim::TraceKind::kSleep;
  entry.milliseconds = milliseconds;
  Emit(entry);
  inner_.Sleep(milliseconds);
}

}  // namespace zel::zelctl
