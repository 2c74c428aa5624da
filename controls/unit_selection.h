// How a control finds, boots and selects its unit. The same for all three classes.
#pragma once

#include <string>

#include "controls/control_classes.h"
#include "devices/device_info_reader.h"
#include "devices/motor_controller.h"
#include "link/ez_usb_link.h"

namespace zel {

class UnitSelection {
 public:
  UnitSelection(const ControlClass& cls, EzUsbLink& link, MotorController& motors,
                DeviceInfoReader& info, const std::string& serialFilter, std::int32_t defaultSpeed,
                const std::string& firmwareDirectory) noexcept
      : cls_(cls),
        link_(link),
        motors_(motors),
        info_(info),
        serialFilter_(serialFilter),
        defaultSpeed_(defaultSpeed),
        firmwareDirectory_(firmwareDirectory) {}

  // Walks the units of the class from device number 0, boots each whose firmware does not run,
  // and selects the first whose serial number equals the filter (any, when it is empty).
  bool Connect();
  // Downloads the class's image into the addressed unit, starts it and checks the heartbeat.
  bool BootFirmware();
  // Gives a freshly selected unit the class's default speed when its speed reads exactly 0.
  void ApplyDefaultSpeed();

 private:
  const ControlClass& cls_;
  EzUsbLink& link_;
  MotorController& motors_;
  DeviceInfoReader& info_;
  const std::string& serialFilter_;
  std::int32_t defaultSpeed_;
  const std::string& firmwareDirectory_;
};

}  // namespace zel
