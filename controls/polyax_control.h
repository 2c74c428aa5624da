// The Polyax control: up to 32 motors and two shutters.
#pragma once

#include <string>

#include "controls/common_members.h"
#include "controls/control_classes.h"
#include "controls/control_environment.h"
#include "devices/device_info_reader.h"
#include "devices/digital_line_port.h"
#include "devices/polyax_controller.h"

namespace zel {

class PolyaxControl : public CommonMembers<PolyaxControl> {
 public:
  static constexpr const ControlClass& kClass = kPolyaxClass;

  explicit PolyaxControl(const ControlEnvironment& environment);

  // Shutter 1 is line 14, shutter 2 line 15; other numbers send nothing and report 0.
  HRESULT SetShutterState(std::int32_t lShutterID, VARIANT_BOOL bOpen,
                          VARIANT_BOOL* bResult) noexcept;
  HRESULT GetShutterState(std::int32_t lShutterID, VARIANT_BOOL* bOpen) noexcept;

  EzUsbLink& Link() noexcept { return link_; }
  DualMotorController& Motors() noexcept { return motors_; }
  DeviceInfoReader& Info() noexcept { return info_; }
  std::string& SerialFilter() noexcept { return serialFilter_; }
  std::int32_t DefaultSpeed() const noexcept { return defaultSpeed_; }
  const std::string& FirmwareDirectory() const noexcept { return firmwareDirectory_; }

 private:
  EzUsbLink link_;
  PolyaxController motors_;
  DigitalLinePort lines_;
  DeviceInfoReader info_;
  std::string serialFilter_;
  std::int32_t defaultSpeed_;
  std::string firmwareDirectory_;
};

}  // namespace zel
