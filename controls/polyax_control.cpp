#include "controls/polyax_control.h"

#include "controls/firmware_directory.h"

namespace zel {

namespace {
// Shutter 1 is line 14, shutter 2 line 15; 0 for any other number.
std::int32_t ShutterLine(std::int32_t shutter) {
  return shutter == 1 ? 14 : shutter == 2 ? 15 : 0;
}
}  // namespace

PolyaxControl::PolyaxControl(const ControlEnvironment& environment)
    : link_(environment.driver),
      motors_(link_, ClassLock(kClass)),
      lines_(ClassLock(kClass), link_),
      info_(link_, ClassLock(kClass)),
      defaultSpeed_(kClass.defaultSpeed),
      firmwareDirectory_(ResolveFirmwareDirectory(environment)) {
  Start();
}

// Reports the line write's own outcome, so a shutter on a unit that is gone reads 0.
HRESULT PolyaxControl::SetShutterState(std::int32_t lShutterID, VARIANT_BOOL bOpen,
                                       VARIANT_BOOL* bResult) noexcept {
  return Value(bResult, [&] {
    const std::int32_t line = ShutterLine(lShutterID);
    return ToVariantBool(line != 0 && lines_.WriteLine(line, FromVariantBool(bOpen)));
  });
}

HRESULT PolyaxControl::GetShutterState(std::int32_t lShutterID, VARIANT_BOOL* bOpen) noexcept {
  return Value(bOpen, [&] {
    const std::int32_t line = ShutterLine(lShutterID);
    return ToVariantBool(line != 0 && lines_.ReadLine(line));
  });
}

}  // namespace zel
