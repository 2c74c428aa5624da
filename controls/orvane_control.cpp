#include "controls/orvane_control.h"

#include "controls/firmware_directory.h"

namespace zel {

namespace {
constexpr std::int32_t kUndervoltageLine = 14;
}  // namespace

OrvaneControl::OrvaneControl(const ControlEnvironment& environment)
    : link_(environment.driver),
      temperature_(link_, ClassLock(kClass)),
      motors_(link_, ClassLock(kClass)),
      analog_(link_, ClassLock(kClass)),
      lines_(ClassLock(kClass), link_),
      info_(link_, ClassLock(kClass)),
      defaultSpeed_(kClass.defaultSpeed),
      firmwareDirectory_(ResolveFirmwareDirectory(environment)) {
  Start();
}

HRESULT OrvaneControl::get_Temperature(double* pVal) noexcept {
  return Value(pVal, [&] { return temperature_.GetTemperature(); });
}

HRESULT OrvaneControl::put_Temperature(double newVal) noexcept {
  temperature_.SetTemperature(newVal);
  return S_OK;
}

HRESULT OrvaneControl::get_ADC(std::int32_t lChannelNumber, double* pVal) noexcept {
  return Value(pVal, [&] { return analog_.ReadChannel(lChannelNumber); });
}

// A line that cannot be read reports detection enabled.
HRESULT OrvaneControl::get_UndervoltageDetection(VARIANT_BOOL* pVal) noexcept {
  return Value(pVal, [&] { return ToVariantBool(!lines_.ReadLine(kUndervoltageLine)); });
}

HRESULT OrvaneControl::put_UndervoltageDetection(VARIANT_BOOL newVal) noexcept {
  lines_.WriteLine(kUndervoltageLine, !FromVariantBool(newVal));
  return S_OK;
}

}  // namespace zel
