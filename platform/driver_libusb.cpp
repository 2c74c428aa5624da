#include "platform/driver_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>
#include <tuple>

#include "link/ezusb_protocol.h"

namespace zel {

namespace {

constexpr int kInterface = 0;
// bmRequestType: direction bit 7, type bits 5 and 6, recipient the device.
constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::uint8_t kStandardIn = 0x80;
constexpr std::uint32_t kMaxControlData = 0xFFFF;  // wLength is 16 bits

// Bus, then the ports from the root hub down: the order units are numbered in.
struct Place {
  int bus = 0;
  std::vector<int> ports;
  bool operator<(const Place& other) const {
    return std::tie(bus, ports) < std::tie(other.bus, other.ports);
  }
  std::string Text() const {
    std::string text = std::to_string(bus);
    for (std::size_t k = 0; k < ports.size(); ++k)
      text += (k == 0 ? "-" : ".") + std::to_string(ports[k]);
    return text;
  }
};

Place PlaceOf(libusb_device* device) {
  Place place;
  place.bus = libusb_get_bus_number(device);
  std::array<std::uint8_t, 8> ports{};
  const int count = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
  for (int k = 0; k < count; ++k) place.ports.push_back(ports[static_cast<std::size_t>(k)]);
  return place;
}

// An open unit's driver handle is its libusb handle itself, so an open costs no allocation of
// ours.
libusb_device_handle* FromHandle(DriverHandle handle) {
  return handle == kNoDriverHandle ? nullptr : reinterpret_cast<libusb_device_handle*>(handle);
}

}  // namespace

std::unique_ptr<LibusbDriver> LibusbDriver::Start(std::string& error, std::uint32_t timeoutMs) {
  libusb_context* context = nullptr;
  const int result = libusb_init(&context);
  if (result != LIBUSB_SUCCESS) {
    error = std::string("libusb cannot start: ") + libusb_strerror(result);
    return nullptr;
  }
  return std::unique_ptr<LibusbDriver>(new LibusbDriver(context, timeoutMs));
}

LibusbDriver::LibusbDriver(libusb_context* context, std::uint32_t timeoutMs) noexcept
    : context_(context), timeoutMs_(timeoutMs) {}

LibusbDriver::~LibusbDriver() {
  Release(units_);
  libusb_exit(context_);
}

void LibusbDriver::OnAccessDenied(
    std::function<void(const std::string& device, const std::string& where)> report) {
  std::lock_guard lock(mutex_);
  accessDenied_ = std::move(report);
}

void LibusbDriver::Release(std::vector<Unit>& units) noexcept {
  for (auto& unit : units) libusb_unref_device(unit.device);
  units.clear();
}

void LibusbDriver::Enumerate() {
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  std::vector<std::pair<Place, libusb_device*>> found;
  for (ssize_t k = 0; k < count; ++k) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[k], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != ezusb::kVendorId) continue;
    found.emplace_back(PlaceOf(list[k]), libusb_ref_device(list[k]));
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  Release(units_);
  for (auto& [place, device] : found) units_.push_back({device, place.Text()});
}

std::vector<std::string> LibusbDriver::Units() {
  std::lock_guard lock(mutex_);
  Enumerate();
  std::vector<std::string> places;
  for (const auto& unit : units_) places.push_back(unit.where);
  return places;
}

DriverHandle LibusbDriver::Open(const char* name) noexcept {
  const int number = ezusb::DeviceNumberOf(name);
  if (number < 0) return kNoDriverHandle;
  const auto place = static_cast<std::size_t>(number);
  std::unique_lock lock(mutex_);
  if (place >= units_.size()) Enumerate();
  // A unit that came back at its place has a new address: the open that found the old one gone
  // reads the bus again and opens the unit now at that place, once.
  for (bool again = true;; again = false) {
    if (place >= units_.size()) return kNoDriverHandle;
    libusb_device* device = libusb_ref_device(units_[place].device);
    const std::string where = units_[place].where;
    lock.unlock();
    libusb_device_handle* handle = nullptr;
    int result = libusb_open(device, &handle);
    if (result == LIBUSB_SUCCESS) {
      result = libusb_claim_interface(handle, kInterface);
      if (result == LIBUSB_SUCCESS) {
        libusb_unref_device(device);
        return reinterpret_cast<DriverHandle>(handle);
      }
      libusb_close(handle);
    }
    lock.lock();
    Enumerate();  // the unit may have left or come back: later opens see the bus as it is now
    const bool replaced =
        place < units_.size() && units_[place].device != device && units_[place].where == where;
    libusb_unref_device(device);
    if (result == LIBUSB_ERROR_ACCESS) {
      const auto report = accessDenied_;
      lock.unlock();
      if (report) report(name, where);
      return kNoDriverHandle;
    }
    if (!(again && replaced && result == LIBUSB_ERROR_NO_DEVICE)) return kNoDriverHandle;
  }
}

bool LibusbDriver::Request(DriverHandle handle, std::uint32_t code, const void* in,
                           std::uint32_t inSize, void* out, std::uint32_t outSize,
                           std::uint32_t& returned) noexcept {
  returned = 0;
  libusb_device_handle* unit = FromHandle(handle);
  if (unit == nullptr) return false;
  const auto* input = static_cast<const std::uint8_t*>(in);
  auto* data = static_cast<std::uint8_t*>(out);
  if (data == nullptr && outSize != 0) return false;
  int result = LIBUSB_ERROR_INVALID_PARAM;
  switch (code) {
    case ezusb::kIoctlAnchorDownload:
      if (input == nullptr || inSize != 2 || outSize > kMaxControlData) return false;
      result = libusb_control_transfer(unit, kVendorOut, ezusb::vendor_request::kFirmwareLoad,
                                       ezusb::Get16(input), 0, data,
                                       static_cast<std::uint16_t>(outSize), timeoutMs_);
      break;
    case ezusb::kIoctlVendorRequest: {
      namespace vr = ezusb::vendor_request;
      if (input == nullptr || inSize != vr::kSize) return false;
      const std::uint32_t length =
          std::min<std::uint32_t>(ezusb::Get16(input + vr::kLength), outSize);
      const bool toHost = input[vr::kDirection] == vr::kDeviceToHost;
      result = libusb_control_transfer(unit, toHost ? kVendorIn : kVendorOut, input[vr::kRequest],
                                       ezusb::Get16(input + vr::kValue),
                                       ezusb::Get16(input + vr::kIndex), data,
                                       static_cast<std::uint16_t>(length), timeoutMs_);
      break;
    }
    case ezusb::kIoctlGetDeviceDescriptor:
      if (outSize < ezusb::kDescriptorSize) return false;
      result = libusb_control_transfer(
          unit, kStandardIn, LIBUSB_REQUEST_GET_DESCRIPTOR, LIBUSB_DT_DEVICE << 8, 0, data,
          static_cast<std::uint16_t>(ezusb::kDescriptorSize), timeoutMs_);
      if (result >= 0 && result != static_cast<int>(ezusb::kDescriptorSize)) return false;
      break;
    default:
      return false;
  }
  if (result < 0) return false;
  returned = static_cast<std::uint32_t>(result);
  return true;
}

void LibusbDriver::Close(DriverHandle handle) noexcept {
  libusb_device_handle* unit = FromHandle(handle);
  if (unit == nullptr) return;
  libusb_release_interface(unit, kInterface);
  libusb_close(unit);
}

void LibusbDriver::Sleep(std::uint32_t milliseconds) noexcept {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace zel
