#include "platform/driver_winusb_win32.h"

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <setupapi.h>
#include <winusb.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/ezusb_requests.h"
#include "platform/usb_control.h"

namespace zel {

namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}: the interface the USB hub driver registers for every
// USB device, whatever function driver it has.
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// Unit N's handle in its session G is kFirstHandle - (G * kMaxNumbers + N): negative, so never
// a kernel handle, and new with every session, so a handle kept after its Close never reaches
// the unit's next session. Sessions are counted modulo kGenerations, which keeps the handle
// within 32 bits.
constexpr DriverHandle kFirstHandle = -2;
constexpr DriverHandle kNumbers = UnitNumbering::kMaxNumbers;
constexpr DriverHandle kGenerations = (0x7FFFFFFF - 2) / kNumbers;
constexpr ULONG kControlPipe = 0;
// An error of ours (bit 29 marks application errors): WinUSB refused the device.
constexpr unsigned long kNotWinUsb = (1UL << 29) | 1;
constexpr DWORD kInstanceIdChars = 256;  // device instance IDs are at most 200 characters

int NumberOf(DriverHandle handle) {
  return static_cast<int>((kFirstHandle - handle) % kNumbers);
}

DriverHandle HandleOf(int number, std::uint32_t generation) {
  return kFirstHandle - (static_cast<DriverHandle>(generation) * kNumbers + number);
}

// Owns a handle and closes it with `close` on every way out of a scope, unless released. `empty`
// is the value that holds nothing.
template <typename Handle, typename Closer>
class Owned {
 public:
  Owned(Handle handle, Handle empty, Closer close) noexcept
      : handle_(handle), empty_(empty), close_(close) {}
  ~Owned() {
    if (handle_ != empty_) close_(handle_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Handle Get() const noexcept { return handle_; }
  Handle Release() noexcept { return std::exchange(handle_, empty_); }

 private:
  Handle handle_;
  const Handle empty_;
  const Closer close_;
};

// The product ID of a vendor 0x5A45 interface path ("...#vid_5a45&pid_314d#..."), any case;
// nullopt for other vendors or a path without a product ID.
std::optional<std::uint16_t> ProductOf(const std::wstring& path) {
  std::wstring lower(path);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  if (lower.find(L"vid_5a45") == std::wstring::npos) return std::nullopt;
  const std::size_t at = lower.find(L"pid_");
  if (at == std::wstring::npos || lower.size() < at + 8) return std::nullopt;
  std::uint16_t product = 0;
  for (std::size_t k = at + 4; k < at + 8; ++k) {
    const wchar_t c = lower[k];
    const int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                      : c >= L'a' && c <= L'f' ? c - L'a' + 10
                                               : -1;
    if (digit < 0) return std::nullopt;
    product = static_cast<std::uint16_t>(product << 4 | digit);
  }
  return product;
}

// Instance IDs are ASCII and case-insensitive: the port key is the upper-case text.
std::string PortKey(const wchar_t* instance) {
  std::string key;
  for (; *instance != L'\0'; ++instance) {
    const wchar_t c = *instance;
    key += c >= L'a' && c <= L'z' ? static_cast<char>(c - L'a' + 'A')
           : c < 0x80             ? static_cast<char>(c)
                                  : '?';
  }
  return key;
}

// The hub port in an instance ID: the decimal number that ends its last part, which Windows
// makes of the parent's ID and the port for a unit without a serial number
// ("USB\VID_5A45&PID_314D\6&2C4F1A0&0&3": 3). nullopt for a last part without one (a serial
// number).
std::optional<unsigned long> HubPortOf(std::string_view instance) {
  const std::string_view last = instance.substr(instance.find_last_of('\\') + 1);
  const std::size_t amp = last.find_last_of('&');
  if (amp == std::string_view::npos) return std::nullopt;
  const std::string_view digits = last.substr(amp + 1);
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  unsigned long port = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<unsigned long>(c - '0');
  }
  return port;
}

ListedUnit::State StateOf(unsigned long error) {
  switch (error) {
    case 0:
      return ListedUnit::State::kReady;
    // Windows answers a second opener of a WinUSB device with access denied, whatever the
    // share mode; a sharing violation says the same of a device opened without sharing.
    case ERROR_SHARING_VIOLATION:
    case ERROR_ACCESS_DENIED:
      return ListedUnit::State::kInUse;
    default:
      return ListedUnit::State::kOtherDriver;
  }
}

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  // GetProcAddress hands every export out as FARPROC; void (*)() converts to any function type.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

struct WinUsbDriver::Api {
  decltype(&WinUsb_Initialize) initialize = nullptr;
  decltype(&WinUsb_Free) free = nullptr;
  decltype(&WinUsb_SetPipePolicy) setPipePolicy = nullptr;
  decltype(&WinUsb_ControlTransfer) controlTransfer = nullptr;
  decltype(&WinUsb_GetDescriptor) getDescriptor = nullptr;
};

namespace {

// One vendor request in the pieces WinUSB takes. Only the memory request 0xA0 is cut, each
// piece at the address where the last one ended; another request longer than one piece fails.
// A piece that moves fewer bytes than asked ends the request. `moved` is the sum.
template <typename Api>
bool Transfer(const Api& api, WINUSB_INTERFACE_HANDLE winusb, const usb::ControlTransfer& transfer,
              std::uint8_t* data, std::uint32_t& moved) noexcept {
  const bool inPieces = transfer.request == ezusb::vendor_request::kFirmwareLoad;
  if (!inPieces && transfer.length > WinUsbDriver::kMaxControlData) return false;
  moved = 0;
  do {
    const std::uint32_t piece = std::min(transfer.length - moved, WinUsbDriver::kMaxControlData);
    const WINUSB_SETUP_PACKET setup{transfer.requestType, transfer.request,
                                    static_cast<USHORT>(transfer.value + moved), transfer.index,
                                    static_cast<USHORT>(piece)};
    ULONG done = 0;
    if (!api.controlTransfer(winusb, setup, data + moved, piece, &done, nullptr)) return false;
    moved += std::min<std::uint32_t>(done, piece);
    if (done < piece) break;
  } while (moved < transfer.length);
  return true;
}

}  // namespace

WinUsbDriver::WinUsbDriver() = default;
WinUsbDriver::~WinUsbDriver() = default;  // winusb.dll stays loaded with the process

bool WinUsbDriver::OwnsHandle(DriverHandle handle) noexcept {
  return handle <= kFirstHandle && handle > kFirstHandle - kNumbers * kGenerations;
}

const WinUsbDriver::Api* WinUsbDriver::LoadApi() noexcept {
  if (apiTried_) return api_.get();
  apiTried_ = true;
  // From the system folder only: a winusb.dll planted beside a client program is never loaded.
  HMODULE module = LoadLibraryExW(L"winusb.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) return nullptr;
  Api api;
  api.initialize = Resolve<decltype(api.initialize)>(module, "WinUsb_Initialize");
  api.free = Resolve<decltype(api.free)>(module, "WinUsb_Free");
  api.setPipePolicy = Resolve<decltype(api.setPipePolicy)>(module, "WinUsb_SetPipePolicy");
  api.controlTransfer = Resolve<decltype(api.controlTransfer)>(module, "WinUsb_ControlTransfer");
  api.getDescriptor = Resolve<decltype(api.getDescriptor)>(module, "WinUsb_GetDescriptor");
  if (api.initialize == nullptr || api.free == nullptr || api.setPipePolicy == nullptr ||
      api.controlTransfer == nullptr || api.getDescriptor == nullptr) {
    FreeLibrary(module);
    return nullptr;
  }
  try {
    api_ = std::make_unique<Api>(api);
  } catch (...) {
    FreeLibrary(module);
  }
  return api_.get();
}

std::vector<WinUsbDriver::Found> WinUsbDriver::Enumerate() {
  for (auto& path : listed_) path.clear();
  std::vector<Found> found;
  const Owned owned(SetupDiGetClassDevsW(&kUsbDeviceInterface, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
                    INVALID_HANDLE_VALUE, SetupDiDestroyDeviceInfoList);
  HDEVINFO set = owned.Get();
  if (set == INVALID_HANDLE_VALUE) return found;
  SP_DEVICE_INTERFACE_DATA entry{};
  entry.cbSize = sizeof entry;
  std::vector<std::uint64_t> buffer;  // 8-byte aligned, as the detail structure wants
  for (DWORD k = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbDeviceInterface, k, &entry);
       ++k) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &entry, nullptr, 0, &size, nullptr);
    if (size <= sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof *detail;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &entry, detail, size, nullptr, &device)) continue;
    std::wstring path(detail->DevicePath,
                      wcsnlen(detail->DevicePath, (size - sizeof(DWORD)) / sizeof(wchar_t)));
    const auto product = ProductOf(path);
    if (!product) continue;
    wchar_t instance[kInstanceIdChars] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, instance, kInstanceIdChars - 1, nullptr))
      continue;
    found.push_back({PortKey(instance), *product, std::move(path), -1});
  }
  // Units present together are numbered in the order of their ports, as numbers (port 10 after
  // port 2), then of the whole IDs; units whose ID names no port come last.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    const auto key = [](const Found& unit) {
      const auto port = HubPortOf(unit.port);
      return std::make_tuple(!port, port.value_or(0), std::string_view(unit.port));
    };
    return key(a) < key(b);
  });
  for (Found& unit : found) {
    if (const auto number = numbering_.NumberOf(unit.port, unit.productId)) {
      unit.number = *number;
      listed_[*number] = unit.path;
    }
  }
  return found;
}

unsigned long WinUsbDriver::OpenPath(const Api& api, const std::wstring& path,
                                     Session& session) noexcept {
  Owned file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr),
             INVALID_HANDLE_VALUE, CloseHandle);
  if (file.Get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }
  WINUSB_INTERFACE_HANDLE usb = nullptr;
  if (!api.initialize(file.Get(), &usb)) return kNotWinUsb;
  Owned guard(usb, WINUSB_INTERFACE_HANDLE{nullptr}, api.free);
  // A pipe that refuses the policy keeps WinUSB's default timeout of 5 s: slower to give up
  // on a unit that does not answer, but never waiting for ever, so the open stands.
  ULONG timeout = kTimeoutMs;
  api.setPipePolicy(usb, kControlPipe, PIPE_TRANSFER_TIMEOUT, sizeof timeout, &timeout);
  session.usb = guard.Release();
  session.file = file.Release();
  return 0;
}

void WinUsbDriver::CloseSession(const Api& api, Session& session) noexcept {
  const Owned file(std::exchange(session.file, nullptr), HANDLE{nullptr}, CloseHandle);
  const Owned usb(std::exchange(session.usb, nullptr), WINUSB_INTERFACE_HANDLE{nullptr},
                  api.free);  // freed first, then the file
}

DriverHandle WinUsbDriver::Open(const char* name) noexcept {
  const int number = ezusb::DeviceNumberOf(name);
  if (number < 0) return kNoDriverHandle;
  std::lock_guard lock(mutex_);
  const Api* api = LoadApi();
  if (api == nullptr) return kNoDriverHandle;
  Session& session = open_[number];
  if (session.file != nullptr) return kNoDriverHandle;  // open in this process already
  std::wstring& path = listed_[number];
  // Reading the list again can help only a unit that left, or the next number to give.
  const bool next = numbering_.OwnerOf(number) == nullptr &&
                    (number == 0 || numbering_.OwnerOf(number - 1) != nullptr);
  if (path.empty() && (next || numbering_.OwnerOf(number) != nullptr)) {
    try {
      Enumerate();
    } catch (...) {
      return kNoDriverHandle;  // out of memory: nothing opened
    }
  }
  if (path.empty()) return kNoDriverHandle;
  if (OpenPath(*api, path, session) != 0) {
    path.clear();  // gone, busy or refused: the next open reads the list again
    return kNoDriverHandle;
  }
  session.generation = (session.generation + 1) % static_cast<std::uint32_t>(kGenerations);
  const DriverHandle handle = HandleOf(number, session.generation);
  session.handle.store(handle, std::memory_order_release);
  return handle;
}

bool WinUsbDriver::Request(DriverHandle handle, std::uint32_t code, const void* in,
                           std::uint32_t inSize, void* out, std::uint32_t outSize,
                           std::uint32_t& returned) noexcept {
  returned = 0;
  if (!OwnsHandle(handle)) return false;
  // The handle's owner alone uses its session, which Open filled, with the API, under the lock
  // before it published the handle; a handle of a closed session no longer matches.
  const Session& session = open_[NumberOf(handle)];
  if (session.handle.load(std::memory_order_acquire) != handle) return false;
  WINUSB_INTERFACE_HANDLE winusb = session.usb;
  if (winusb == nullptr || api_ == nullptr) return false;
  const Api& api = *api_;
  const auto transfer = usb::ControlTransferOf(code, in, inSize, out, outSize);
  if (!transfer) return false;
  auto* data = static_cast<std::uint8_t*>(out);
  if (!transfer->IsDeviceDescriptor()) return Transfer(api, winusb, *transfer, data, returned);
  ULONG done = 0;
  if (!api.getDescriptor(winusb, usb::kDeviceDescriptorType, 0, 0, data, transfer->length, &done) ||
      done != transfer->length)
    return false;
  returned = done;
  return true;
}

void WinUsbDriver::Close(DriverHandle handle) noexcept {
  if (!OwnsHandle(handle)) return;
  std::lock_guard lock(mutex_);
  Session& session = open_[NumberOf(handle)];
  if (session.handle.load(std::memory_order_relaxed) != handle) return;  // closed already
  session.handle.store(kNoDriverHandle, std::memory_order_release);
  if (api_ != nullptr) CloseSession(*api_, session);
}

void WinUsbDriver::Sleep(std::uint32_t milliseconds) noexcept {
  ::Sleep(milliseconds);
}

std::vector<ListedUnit> WinUsbDriver::List() {
  std::lock_guard lock(mutex_);
  const Api* api = LoadApi();
  std::vector<Found> found = Enumerate();
  std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return static_cast<unsigned>(a.number) < static_cast<unsigned>(b.number);  // -1 last
  });
  std::vector<ListedUnit> units;
  for (const Found& unit : found) {
    ListedUnit listed{unit.number, unit.productId, unit.port, ListedUnit::State::kReady};
    if (unit.number >= 0 && open_[unit.number].file != nullptr) {
      listed.state = ListedUnit::State::kInUse;
    } else if (api == nullptr) {
      listed.state = ListedUnit::State::kOtherDriver;  // no WinUSB on this system
    } else {
      Session probe;
      const unsigned long error = OpenPath(*api, unit.path, probe);
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;  // just left
      if (error == 0) CloseSession(*api, probe);
      listed.state = StateOf(error);
    }
    units.push_back(std::move(listed));
  }
  return units;
}

}  // namespace zel
