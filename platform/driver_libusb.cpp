#include "platform/driver_libusb.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>

#include "platform/ezusb_requests.h"
#include "platform/libusb_api.h"
#include "platform/usb_control.h"

namespace zel {

namespace {

constexpr int kInterface = 0;
constexpr const char kUsbfs[] = "/dev/bus/usb";

// libusb's functions, set by the first Start that loaded them: no driver exists before, so
// every other use finds them set.
std::atomic<const LibusbApi*> libusb = nullptr;

// Bus, then the ports from the root hub down: the order units are numbered in.
struct Place {
  int bus = 0;
  std::vector<int> ports;
  bool operator<(const Place& other) const {
    return std::tie(bus, ports) < std::tie(other.bus, other.ports);
  }
  std::string Text() const {
    std::string text = std::to_string(bus);
    for (std::size_t k = 0; k < ports.size(); ++k) {
      text += k == 0 ? '-' : '.';
      text += std::to_string(ports[k]);
    }
    return text;
  }
};

Place PlaceOf(libusb_device* device) {
  Place place;
  place.bus = libusb.load()->get_bus_number(device);
  std::array<std::uint8_t, 8> ports{};
  const int count =
      libusb.load()->get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
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
  const LibusbApi* loaded = LoadLibusb(error);
  if (loaded == nullptr) return nullptr;
  libusb = loaded;
  libusb_context* context = nullptr;
  const int result = libusb.load()->init(&context);
  if (result != LIBUSB_SUCCESS) {
    error = UsbfsPresent() ? std::string("libusb cannot start: ") + libusb.load()->strerror(result)
                           : std::string("libusb cannot start: ") + kUsbfs +
                                 " is missing, so no unit can be reached (no usbfs, as in a "
                                 "container)";
    return nullptr;
  }
  return std::unique_ptr<LibusbDriver>(new LibusbDriver(context, timeoutMs));
}

LibusbDriver::LibusbDriver(libusb_context* context, std::uint32_t timeoutMs) noexcept
    : context_(context), timeoutMs_(timeoutMs) {}

LibusbDriver::~LibusbDriver() {
  Release(units_);
  libusb.load()->exit(context_);
}

void LibusbDriver::OnRefused(RefusalReport report) {
  std::lock_guard lock(mutex_);
  refused_ = std::make_shared<RefusalReport>(std::move(report));
}

bool LibusbDriver::UsbfsPresent() {
  struct stat info {};
  return ::stat(kUsbfs, &info) == 0 && S_ISDIR(info.st_mode);
}

void LibusbDriver::Release(std::vector<Unit>& units) noexcept {
  for (auto& unit : units) libusb.load()->unref_device(unit.device);
  units.clear();
}

void LibusbDriver::Enumerate() {
  libusb_device** list = nullptr;
  const ssize_t count = libusb.load()->get_device_list(context_, &list);
  std::vector<std::tuple<Place, libusb_device*, std::uint16_t>> found;
  for (ssize_t k = 0; k < count; ++k) {
    libusb_device_descriptor descriptor{};
    if (libusb.load()->get_device_descriptor(list[k], &descriptor) != LIBUSB_SUCCESS) continue;
    if (descriptor.idVendor != ezusb::kVendorId) continue;
    found.emplace_back(PlaceOf(list[k]), libusb.load()->ref_device(list[k]), descriptor.idProduct);
  }
  if (list != nullptr) libusb.load()->free_device_list(list, 1);
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
  Release(units_);
  for (auto& [place, device, product] : found) {
    std::string where = place.Text();
    const int number = numbering_.NumberOf(where, product).value_or(-1);
    units_.push_back({device, std::move(where), product, number});
  }
}

const LibusbDriver::Unit* LibusbDriver::Find(int number) const {
  for (const auto& unit : units_) {
    if (unit.number == number) return &unit;
  }
  return nullptr;
}

std::vector<ListedUnit> LibusbDriver::List() {
  std::vector<std::pair<libusb_device*, ListedUnit>> units;
  {
    std::lock_guard lock(mutex_);
    Enumerate();
    for (const auto& unit : units_)
      units.push_back({libusb.load()->ref_device(unit.device),
                       {unit.number, unit.productId, unit.where, ListedUnit::State::kReady}});
  }
  for (auto& [device, listed] : units) {
    libusb_device_handle* handle = nullptr;
    int result = libusb.load()->open(device, &handle);
    if (result == LIBUSB_SUCCESS) {
      result = libusb.load()->claim_interface(handle, kInterface);
      if (result == LIBUSB_SUCCESS) libusb.load()->release_interface(handle, kInterface);
      libusb.load()->close(handle);
    }
    libusb.load()->unref_device(device);
    switch (result) {
      case LIBUSB_SUCCESS:
        listed.state = ListedUnit::State::kReady;
        break;
      case LIBUSB_ERROR_ACCESS:
        listed.state = ListedUnit::State::kRefused;
        break;
      case LIBUSB_ERROR_NOT_FOUND:
        listed.state = ListedUnit::State::kUnconfigured;
        break;
      default:
        listed.state = ListedUnit::State::kInUse;
        break;
    }
  }
  std::stable_sort(units.begin(), units.end(), [](const auto& a, const auto& b) {
    return static_cast<unsigned>(a.second.number) < static_cast<unsigned>(b.second.number);
  });
  std::vector<ListedUnit> listed;
  for (auto& unit : units) listed.push_back(std::move(unit.second));
  return listed;
}

DriverHandle LibusbDriver::Open(const char* name) noexcept {
  const int number = ezusb::DeviceNumberOf(name);
  if (number < 0) return kNoDriverHandle;
  std::unique_lock lock(mutex_);
  if (Find(number) == nullptr) Enumerate();
  // A unit that came back at its port has a new address: the open that found the old one gone
  // reads the bus again and opens the unit now at that port, once.
  for (bool again = true;; again = false) {
    const Unit* unit = Find(number);
    if (unit == nullptr) return kNoDriverHandle;
    libusb_device* device = libusb.load()->ref_device(unit->device);
    const std::string where = unit->where;
    lock.unlock();
    libusb_device_handle* handle = nullptr;
    int result = libusb.load()->open(device, &handle);
    if (result == LIBUSB_SUCCESS) {
      result = libusb.load()->claim_interface(handle, kInterface);
      if (result == LIBUSB_SUCCESS) {
        libusb.load()->unref_device(device);
        return reinterpret_cast<DriverHandle>(handle);
      }
      libusb.load()->close(handle);
    }
    lock.lock();
    Enumerate();  // the unit may have left or come back: later opens see the bus as it is now
    const Unit* now = Find(number);
    const bool replaced = now != nullptr && now->device != device;
    libusb.load()->unref_device(device);
    if (result == LIBUSB_ERROR_ACCESS || result == LIBUSB_ERROR_NOT_FOUND) {
      const auto report = refused_;
      lock.unlock();
      if (report && *report) {
        (*report)(result == LIBUSB_ERROR_ACCESS ? Refusal::kAccess : Refusal::kUnconfigured, name,
                  where);
      }
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
  const auto transfer = usb::ControlTransferOf(code, in, inSize, out, outSize);
  if (unit == nullptr || !transfer) return false;
  const int result = libusb.load()->control_transfer(
      unit, transfer->requestType, transfer->request, transfer->value, transfer->index,
      static_cast<unsigned char*>(out), static_cast<std::uint16_t>(transfer->length), timeoutMs_);
  if (result < 0) return false;
  // A short device descriptor is no descriptor.
  if (transfer->IsDeviceDescriptor() && result != static_cast<int>(ezusb::kDescriptorSize))
    return false;
  returned = static_cast<std::uint32_t>(result);
  return true;
}

void LibusbDriver::Close(DriverHandle handle) noexcept {
  libusb_device_handle* unit = FromHandle(handle);
  if (unit == nullptr) return;
  libusb.load()->release_interface(unit, kInterface);
  libusb.load()->close(unit);
}

void LibusbDriver::Sleep(std::uint32_t milliseconds) noexcept {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace zel
