// The Kestrin control: two motors.
#pragma once

#include <string>

#include "controls/common_members.h"
#include "controls/control_classes.h"
#include "controls/control_environment.h"
#include "devices/device_info_reader.h"
#include "devices/dual_motor_controller.h"

namespace zel {

class KestrinControl : public CommonMembers<KestrinControl> {
 public:
  static constexpr const ControlClass& kClass = kKestrinClass;

  // Builds the members and connects; succeeds with or without a unit.
  explicit KestrinControl(const ControlEnvironment& environment);

  EzUsbLink& Link() noexcept { return link_; }
  DualMotorController& Motors() noexcept { return motors_; }
  DeviceInfoReader& Info() noexcept { return info_; }
  std::string& SerialFilter() noexcept { return serialFilter_; }
  std::int32_t DefaultSpeed() const noexcept { return defaultSpeed_; }
  const std::string& FirmwareDirectory() const noexcept { return firmwareDirectory_; }

 private:
  EzUsbLink link_;
  DualMotorController motors_;
  DeviceInfoReader info_;
  std::string serialFilter_;
  std::int32_t defaultSpeed_;
  std::string firmwareDirectory_;
};

}  // namespace zel
