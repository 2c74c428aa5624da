#include "controls/kestrin_control.h"

#include "controls/firmware_directory.h"

namespace zel {

KestrinControl::KestrinControl(const ControlEnvironment& environment)
    : link_(environment.driver),
      motors_(link_, ClassLock(kClass)),
      info_(link_, ClassLock(kClass)),
      defaultSpeed_(kClass.defaultSpeed),
      firmwareDirectory_(ResolveFirmwareDirectory(environment)) {
  Start();
}

}  // namespace zel
