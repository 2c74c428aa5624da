// A driver that reports every operation of the driver it wraps, in the bench's trace form, so
// a session on real hardware can be traced line for line like one on the bench.
#pragma once

#include <functional>
#include <map>

#include "platform/driver.h"
#include "sim/trace.h"

namespace zel::zelctl {

class TracingDriver final : public Driver {
 public:
  TracingDriver(Driver& inner, std::function<void(const sim::TraceEntry&)> sink)
      : inner_(inner), sink_(std::move(sink)) {}

  DriverHandle Open(const char* name) noexcept override;
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override;
  void Close(DriverHandle handle) noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;

 private:
  void Emit(const sim::TraceEntry& entry) noexcept;

  Driver& inner_;
  std::function<void(const sim::TraceEntry&)> sink_;
  std::map<DriverHandle, int> devices_;  // device number of each open handle
};

}  // namespace zel::zelctl
