// The Cypress general-purpose driver, reached through the Win32 file API.
#pragma once

#include "platform/driver.h"

namespace zel {

class Win32Driver final : public Driver {
 public:
  DriverHandle Open(const char* name) noexcept override;
  bool Request(DriverHandle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t& returned) noexcept override;
  void Close(DriverHandle handle) noexcept override;
  void Sleep(std::uint32_t milliseconds) noexcept override;
};

}  // namespace zel
