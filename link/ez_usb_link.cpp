#include "link/ez_usb_link.h"

#include <cstdio>

namespace zel {

namespace {
constexpr std::uint32_t kHeartbeatPauseMs = 500;
}  // namespace

EzUsbLink::EzUsbLink(Driver& driver) noexcept : driver_(driver) {}

EzUsbLink::~EzUsbLink() {
  driver_.Close(handle_);
  handle_ = kNoDriverHandle;
}

void EzUsbLink::SetFilters(std::int32_t vendor, std::int32_t product,
                           std::int32_t release) noexcept {
  vendorFilter_ = vendor;
  productFilter_ = product;
  releaseFilter_ = release;
}

// Every request starts here: the status is cleared, then the device file is opened.
bool EzUsbLink::Open() noexcept {
  status_ = LinkStatus::eErrorNoError;
  // After a failed search the device number is 128 or more: a name that no search examined.
  // Nothing is opened there, so an unbound link can never write to a unit it did not check.
  if (deviceIndex_ >= 0 && deviceIndex_ < ezusb::kDeviceCount) {
    char name[sizeof(ezusb::kDeviceNamePrefix) + 12];
    std::snprintf(name, sizeof name, "%s%d", ezusb::kDeviceNamePrefix,
                  static_cast<int>(deviceIndex_));
    handle_ = driver_.Open(name);
  } else {
    handle_ = kNoDriverHandle;
  }
  if (handle_ == kNoDriverHandle) {
    status_ = LinkStatus::eErrorNoDevice;
    devicePresent_ = false;
    return false;
  }
  devicePresent_ = true;
  return true;
}

bool EzUsbLink::Request(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                        std::uint32_t outSize, std::uint32_t& returned) noexcept {
  returned = 0;
  return driver_.Request(handle_, code, in, inSize, out, outSize, returned);
}

const std::array<std::uint8_t, ezusb::kDescriptorSize>* EzUsbLink::GetDeviceDescriptor() noexcept {
  if (!Open()) return nullptr;
  DriverHandleGuard guard(driver_, handle_);
  std::uint32_t returned = 0;
  if (!Request(ezusb::kIoctlGetDeviceDescriptor, nullptr, 0, descriptor_.data(),
               static_cast<std::uint32_t>(descriptor_.size()), returned)) {
    status_ = LinkStatus::eErrorNoDeviceDescriptor;
    return nullptr;
  }
  return &descriptor_;
}

bool EzUsbLink::WriteMemory(const std::uint8_t* data, std::int32_t length,
                            std::uint16_t address) noexcept {
  if (!Open()) return false;
  DriverHandleGuard guard(driver_, handle_);
  std::uint8_t start[2];
  ezusb::Put16(start, address);
  const auto size = static_cast<std::uint32_t>(length < 0 ? 0 : length);
  void* payload = const_cast<std::uint8_t*>(data);  // the driver only reads it
  std::uint32_t returned = 0;
  // The write goes out twice with identical buffers; the second call decides the result.
  bool first = Request(ezusb::kIoctlAnchorDownload, start, sizeof start, payload, size, returned);
  bool second = Request(ezusb::kIoctlAnchorDownload, start, sizeof start, payload, size, returned);
  if (!first || !second) status_ = LinkStatus::eErrorDataWrite;
  return second;
}

std::int32_t EzUsbLink::ReadMemory(std::uint8_t* buffer, std::int32_t length,
                                   std::uint16_t address) noexcept {
  if (!Open()) return 0;
  DriverHandleGuard guard(driver_, handle_);
  namespace vr = ezusb::vendor_request;
  const auto count = static_cast<std::uint16_t>(length);
  std::uint8_t setup[vr::kSize] = {};
  setup[vr::kRequest] = vr::kFirmwareLoad;
  ezusb::Put16(setup + vr::kValue, address);
  ezusb::Put16(setup + vr::kIndex, 0);
  ezusb::Put16(setup + vr::kLength, count);
  setup[vr::kDirection] = vr::kDeviceToHost;
  setup[vr::kData] = 0xFF;
  std::uint32_t returned = 0;
  if (!Request(ezusb::kIoctlVendorRequest, setup, sizeof setup, buffer, count, returned)) {
    status_ = LinkStatus::eErrorDataRead;
    return -1;
  }
  return static_cast<std::int32_t>(returned);
}

bool EzUsbLink::WriteByte(std::uint8_t value, std::uint16_t address) noexcept {
  return WriteMemory(&value, 1, address);
}

std::uint8_t EzUsbLink::ReadByte(std::uint16_t address) noexcept {
  std::uint8_t value = 0;
  if (ReadMemory(&value, 1, address) == 0) return 0;
  return value;
}

bool EzUsbLink::StartCpu() noexcept {
  return WriteByte(0, ezusb::kCpucs);
}

bool EzUsbLink::IsFirmwareRunning() noexcept {
  const std::uint8_t first = ReadByte(ezusb::kHeartbeat);
  if (GetStatus() != LinkStatus::eErrorNoError) return false;
  driver_.Sleep(kHeartbeatPauseMs);
  const std::uint8_t second = ReadByte(ezusb::kHeartbeat);
  if (GetStatus() != LinkStatus::eErrorNoError) return false;
  return first != second;
}

// A probe: a device that cannot be opened now reports 1 and leaves 0 behind; otherwise the
// stored code comes back unchanged.
LinkStatus EzUsbLink::GetStatus() noexcept {
  const LinkStatus kept = status_;
  if (!Open()) {
    status_ = LinkStatus::eErrorNoError;
    return LinkStatus::eErrorNoDevice;
  }
  DriverHandleGuard guard(driver_, handle_);
  status_ = kept;
  return status_;
}

bool EzUsbLink::FindFirstDevice() noexcept {
  deviceIndex_ = -1;
  return FindNextDevice();
}

bool EzUsbLink::FindNextDevice() noexcept {
  for (;;) {
    ++deviceIndex_;
    if (deviceIndex_ >= ezusb::kDeviceCount) return false;
    const auto* descriptor = GetDeviceDescriptor();
    if (descriptor == nullptr) continue;
    const std::uint8_t* d = descriptor->data();
    if (vendorFilter_ != 0 && vendorFilter_ != ezusb::Get16(d + ezusb::kDescriptorVendor)) continue;
    if (productFilter_ != 0 && productFilter_ != ezusb::Get16(d + ezusb::kDescriptorProduct))
      continue;
    if (releaseFilter_ != 0 && releaseFilter_ != ezusb::Get16(d + ezusb::kDescriptorRelease))
      continue;
    devicePresent_ = true;
    return true;
  }
}

}  // namespace zel
