// The winusb.dll stand-in: binds an opened unit file to its bench chip and serves WinUSB's
// control transfers from the chip through the bench's driver seam (standin.h). Setup packets
// arrive as WinUSB takes them; the memory request 0xA0 becomes the bench's memory write or read,
// the standard GET_DESCRIPTOR of the device descriptor its descriptor request. WinUSB's own
// rules hold: at most 4096 bytes in one control transfer, a timeout per pipe (5 s until set),
// Windows' error codes (a stall is ERROR_GEN_FAILURE, a timeout ERROR_SEM_TIMEOUT), and a file
// handle not opened for overlapped use is refused (ERROR_INVALID_HANDLE).
#include <windows.h>

#include <winternl.h>
#include <winusb.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/driver.h"
#include "platform/ezusb_requests.h"
#include "platform/usb_control.h"
#include "tests/platform/winusb/standin.h"

namespace {

constexpr ULONG kMaxControlData = 4096;

struct Interface {
  zel::DriverHandle unit = zel::kNoDriverHandle;
  ULONG timeoutMs = 5000;
};

std::atomic<unsigned long> calls{0};
std::mutex mutex;  // guards the five below
zel::Driver* bench = nullptr;
unsigned long failError = 0;
int failCount = 0;
unsigned long policyError = 0;
int policyFailCount = 0;
void (*watcher)(const char* line) = nullptr;

void Tell(const char* format, ...) {
  char line[128];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  std::lock_guard lock(mutex);
  if (watcher != nullptr) watcher(line);
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The chip number written in the unit file behind `file`; -1 for "other" or anything else.
int ChipOf(HANDLE file) {
  char text[16] = {};
  OVERLAPPED at{};  // the handle is overlapped, as WinUSB requires: read at offset 0 and wait
  at.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD read = 0;
  const bool ok =
      ReadFile(file, text, sizeof text - 1, nullptr, &at) ||
      (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(file, &at, &read, TRUE));
  if (at.hEvent != nullptr) CloseHandle(at.hEvent);
  if (!ok || text[0] < '0' || text[0] > '9') return -1;
  return std::atoi(text);
}

// Whether `file` was opened with FILE_FLAG_OVERLAPPED: the kernel keeps the handles opened
// without it for synchronous use, and says so in the file's mode.
bool Overlapped(HANDLE file) {
  using Query = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
  constexpr auto kFileModeInformation = static_cast<FILE_INFORMATION_CLASS>(16);
  constexpr ULONG kSynchronousIo = 0x10 | 0x20;  // FILE_SYNCHRONOUS_IO_ALERT and _NONALERT
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
  IO_STATUS_BLOCK status{};
  ULONG mode = kSynchronousIo;
  return query != nullptr &&
         NT_SUCCESS(query(file, &status, &mode, sizeof mode, kFileModeInformation)) &&
         (mode & kSynchronousIo) == 0;
}

// One control transfer on the chip: the bench's request for the setup packet.
BOOL Serve(Interface& usb, const WINUSB_SETUP_PACKET& setup, PUCHAR buffer, ULONG& done) {
  {
    std::lock_guard lock(mutex);
    if (failCount > 0) {
      --failCount;
      return Fail(failError);
    }
  }
  std::uint32_t returned = 0;
  bool ok = false;
  if (setup.RequestType == zel::usb::kVendorOut &&
      setup.Request == zel::ezusb::vendor_request::kFirmwareLoad) {
    std::uint8_t address[2];
    zel::ezusb::Put16(address, setup.Value);
    ok = bench->Request(usb.unit, zel::ezusb::kIoctlAnchorDownload, address, 2, buffer,
                        setup.Length, returned);
  } else if (setup.RequestType == zel::usb::kVendorIn &&
             setup.Request == zel::ezusb::vendor_request::kFirmwareLoad) {
    namespace vr = zel::ezusb::vendor_request;
    std::uint8_t in[vr::kSize] = {};
    in[vr::kRequest] = setup.Request;
    zel::ezusb::Put16(in + vr::kValue, setup.Value);
    zel::ezusb::Put16(in + vr::kIndex, setup.Index);
    zel::ezusb::Put16(in + vr::kLength, setup.Length);
    in[vr::kDirection] = vr::kDeviceToHost;
    in[vr::kData] = 0xFF;
    ok = bench->Request(usb.unit, zel::ezusb::kIoctlVendorRequest, in, vr::kSize, buffer,
                        setup.Length, returned);
  } else if (setup.RequestType == zel::usb::kStandardIn &&
             setup.Request == zel::usb::kGetDescriptor && setup.Value == 0x0100 &&
             setup.Length >= zel::ezusb::kDescriptorSize) {
    ok = bench->Request(usb.unit, zel::ezusb::kIoctlGetDeviceDescriptor, nullptr, 0, buffer,
                        zel::ezusb::kDescriptorSize, returned);
  }
  if (!ok) return Fail(ERROR_GEN_FAILURE);  // the chip stalled the request, or is gone
  done = returned;
  return TRUE;
}

Interface* InterfaceOf(WINUSB_INTERFACE_HANDLE handle) {
  return static_cast<Interface*>(handle);
}

}  // namespace

extern "C" {

__declspec(dllexport) void StandInServe(zel::Driver* chips) {
  std::lock_guard lock(mutex);
  bench = chips;
}

__declspec(dllexport) void StandInFail(unsigned long error, int count) {
  std::lock_guard lock(mutex);
  failError = error;
  failCount = count;
}

__declspec(dllexport) void StandInFailPolicy(unsigned long error, int count) {
  std::lock_guard lock(mutex);
  policyError = error;
  policyFailCount = count;
}

__declspec(dllexport) void StandInWatch(void (*watch)(const char* line)) {
  std::lock_guard lock(mutex);
  watcher = watch;
}

__declspec(dllexport) unsigned long StandInCalls() {
  return calls;
}

__declspec(dllexport) BOOL WINAPI WinUsb_Initialize(HANDLE file, PWINUSB_INTERFACE_HANDLE out) {
  ++calls;
  if (out == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *out = nullptr;
  if (file == nullptr || file == INVALID_HANDLE_VALUE) return Fail(ERROR_INVALID_HANDLE);
  if (!Overlapped(file)) {
    Tell("refused: not overlapped");
    return Fail(ERROR_INVALID_HANDLE);
  }
  const int chip = ChipOf(file);
  if (chip < 0 || bench == nullptr) {
    Tell("refused: another driver");
    return Fail(ERROR_INVALID_FUNCTION);  // the device's driver is not WinUSB
  }
  char name[32];
  std::snprintf(name, sizeof name, "%s%d", zel::ezusb::kDeviceNamePrefix, chip);
  auto* usb = new (std::nothrow) Interface;
  if (usb == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  usb->unit = bench->Open(name);
  if (usb->unit == zel::kNoDriverHandle) {
    delete usb;
    Tell("refused: chip %d gone", chip);
    return Fail(ERROR_DEVICE_NOT_CONNECTED);
  }
  Tell("initialize %d", chip);
  *out = usb;
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI WinUsb_Free(WINUSB_INTERFACE_HANDLE handle) {
  ++calls;
  Interface* usb = InterfaceOf(handle);
  if (usb == nullptr) return Fail(ERROR_INVALID_HANDLE);
  bench->Close(usb->unit);
  delete usb;
  Tell("free");
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE handle, UCHAR pipe,
                                                       ULONG policy, ULONG length, PVOID value) {
  ++calls;
  Interface* usb = InterfaceOf(handle);
  if (usb == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (value == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const ULONG shown = length == sizeof(ULONG) ? *static_cast<ULONG*>(value) : 0UL;
  DWORD refused = 0;
  {
    std::lock_guard lock(mutex);
    if (policyFailCount > 0) {
      --policyFailCount;
      refused = policyError;
    }
  }
  if (refused != 0) {
    Tell("policy %u %lu %lu fail", pipe, policy, shown);
    return Fail(refused);
  }
  if (policy == PIPE_TRANSFER_TIMEOUT) {
    if (length != sizeof(ULONG)) return Fail(ERROR_INVALID_PARAMETER);
    if (pipe == 0) usb->timeoutMs = *static_cast<ULONG*>(value);
  }
  Tell("policy %u %lu %lu", pipe, policy, shown);
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    WinUsb_ControlTransfer(WINUSB_INTERFACE_HANDLE handle, WINUSB_SETUP_PACKET setup, PUCHAR buffer,
                           ULONG length, PULONG transferred, LPOVERLAPPED overlapped) {
  ++calls;
  Interface* usb = InterfaceOf(handle);
  if (usb == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (transferred != nullptr) *transferred = 0;
  if (overlapped != nullptr || transferred == nullptr || setup.Length > length ||
      setup.Length > kMaxControlData || (buffer == nullptr && setup.Length != 0))
    return Fail(ERROR_INVALID_PARAMETER);
  ULONG done = 0;
  const BOOL ok = Serve(*usb, setup, buffer, done);
  const DWORD error = GetLastError();
  Tell("control %02X %02X %04X %04X %u %s", setup.RequestType, setup.Request, setup.Value,
       setup.Index, setup.Length,
       ok                           ? "ok"
       : error == ERROR_SEM_TIMEOUT ? "timeout"
                                    : "fail");
  if (!ok) return Fail(error);
  *transferred = done;
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    WinUsb_GetDescriptor(WINUSB_INTERFACE_HANDLE handle, UCHAR type, UCHAR index, USHORT language,
                         PUCHAR buffer, ULONG length, PULONG transferred) {
  ++calls;
  Interface* usb = InterfaceOf(handle);
  if (usb == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (transferred == nullptr || buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *transferred = 0;
  const WINUSB_SETUP_PACKET setup{zel::usb::kStandardIn, zel::usb::kGetDescriptor,
                                  static_cast<USHORT>(type << 8 | index), language,
                                  static_cast<USHORT>(std::min<ULONG>(length, 0xFFFF))};
  ULONG done = 0;
  const BOOL ok = Serve(*usb, setup, buffer, done);
  const DWORD error = GetLastError();
  Tell("descriptor %u %u %04X %lu %s", type, index, language, length, ok ? "ok" : "fail");
  if (!ok) return Fail(error);
  *transferred = done;
  return TRUE;
}

}  // extern "C"
