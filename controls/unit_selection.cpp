#include "controls/unit_selection.h"

namespace zel {

bool UnitSelection::Connect() {
  for (bool found = link_.FindFirstDevice(); found; found = link_.FindNextDevice()) {
    if (!link_.IsFirmwareRunning() && !BootFirmware()) continue;
    if (!serialFilter_.empty() && info_.ReadSerialNumber() != serialFilter_) continue;
    ApplyDefaultSpeed();
    return true;
  }
  return false;
}

// Held under the class lock, so two controls of one class never load the same unit at once.
bool UnitSelection::BootFirmware() {
  DeviceLockGuard guard(ClassLock(cls_));
  const std::string path = firmwareDirectory_ + cls_.product->firmwareFile;
  return link_.DownloadHexFile(path.c_str()) && link_.StartCpu() && link_.IsFirmwareRunning();
}

void UnitSelection::ApplyDefaultSpeed() {
  if (defaultSpeed_ <= 0) return;
  if (motors_.GetMotorFreq(1) == 0) motors_.SetMotorFreq(0, defaultSpeed_);
}

}  // namespace zel
