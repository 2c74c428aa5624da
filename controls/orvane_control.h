// The Orvane control: two motors, temperature, analogue inputs and the undervoltage switch.
#pragma once

#include <string>

#include "controls/common_members.h"
#include "controls/control_classes.h"
#include "controls/control_environment.h"
#include "devices/analog_input_reader.h"
#include "devices/device_info_reader.h"
#include "devices/digital_line_port.h"
#include "devices/dual_motor_controller.h"
#include "devices/temperature_unit.h"

namespace zel {

class OrvaneControl : public CommonMembers<OrvaneControl> {
 public:
  static constexpr const ControlClass& kClass = kOrvaneClass;

  explicit OrvaneControl(const ControlEnvironment& environment);

  HRESULT get_Temperature(double* pVal) noexcept;
  // The setting's own success is not reported; read the temperature back or LastError.
  HRESULT put_Temperature(double newVal) noexcept;
  HRESULT get_ADC(std::int32_t lChannelNumber, double* pVal) noexcept;
  // Line 14 carries the inverse: the line on means detection off.
  HRESULT get_UndervoltageDetection(VARIANT_BOOL* pVal) noexcept;
  HRESULT put_UndervoltageDetection(VARIANT_BOOL newVal) noexcept;

  EzUsbLink& Link() noexcept { return link_; }
  DualMotorController& Motors() noexcept { return motors_; }
  DeviceInfoReader& Info() noexcept { return info_; }
  std::string& SerialFilter() noexcept { return serialFilter_; }
  std::int32_t DefaultSpeed() const noexcept { return defaultSpeed_; }
  const std::string& FirmwareDirectory() const noexcept { return firmwareDirectory_; }

 private:
  EzUsbLink link_;
  TemperatureUnit temperature_;
  DualMotorController motors_;
  AnalogInputReader analog_;
  DigitalLinePort lines_;
  DeviceInfoReader info_;
  std::string serialFilter_;
  std::int32_t defaultSpeed_;
  std::string firmwareDirectory_;
};

}  // namespace zel
