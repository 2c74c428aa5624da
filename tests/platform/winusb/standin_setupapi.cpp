// The setupapi.dll stand-in: lists the unit files of the folder named by ZEL_STANDIN_DEVICES as
// the present devices of the USB device interface class (standin.h). The five functions behave
// as documented, buffer-size protocol and error codes included; every other class is empty.
// This file defines SetupAPI's functions: their declarations must not say imported.
#define _SETUPAPI_
#include <windows.h>

#include <setupapi.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "tests/platform/winusb/standin.h"

namespace {

constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr std::uint32_t kMagic = 0x5A455345;

std::atomic<unsigned long> calls{0};

struct DeviceSet {
  std::uint32_t magic = kMagic;
  std::vector<std::wstring> paths;  // folder\file
};

DeviceSet* SetOf(HDEVINFO handle) {
  auto* set = static_cast<DeviceSet*>(handle);
  if (set == nullptr || handle == INVALID_HANDLE_VALUE || set->magic != kMagic) return nullptr;
  return set;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The index of the set's device an SP_DEVICE_INTERFACE_DATA or SP_DEVINFO_DATA names.
const std::wstring* PathAt(const DeviceSet& set, ULONG_PTR index) {
  return index < set.paths.size() ? &set.paths[index] : nullptr;
}

// USB\VID_5A45&PID_314D\6&2C4F1A0&0&3 from ...\usb#vid_5a45&pid_314d#6&2c4f1a0&0&3#{guid}.
std::wstring InstanceIdOf(const std::wstring& path) {
  std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
  const std::size_t suffix = name.rfind(L'#');
  if (suffix != std::wstring::npos) name.resize(suffix);
  for (wchar_t& c : name) {
    if (c == L'#') c = L'\\';
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return name;
}

}  // namespace

extern "C" {

__declspec(dllexport) unsigned long StandInCalls() {
  return calls;
}

__declspec(dllexport) HDEVINFO WINAPI
    SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
  ++calls;
  if (classGuid == nullptr || (flags & DIGCF_DEVICEINTERFACE) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto* set = new (std::nothrow) DeviceSet;
  if (set == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(standin::kDeviceFolderVariable, folder, MAX_PATH);
  if (IsEqualGUID(*classGuid, kUsbDeviceInterface) && length > 0 && length < MAX_PATH) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (found.cFileName[0] != L'.')  // a folder stands for a device refused to this user
          set->paths.push_back(std::wstring(folder) + L"\\" + found.cFileName);
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  SetLastError(ERROR_SUCCESS);
  return set;
}

__declspec(dllexport) BOOL WINAPI
    SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA, const GUID* classGuid,
                                DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
  ++calls;
  const DeviceSet* set = SetOf(handle);
  if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (classGuid == nullptr || data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
  if (!IsEqualGUID(*classGuid, kUsbDeviceInterface) || PathAt(*set, index) == nullptr)
    return Fail(ERROR_NO_MORE_ITEMS);
  data->InterfaceClassGuid = kUsbDeviceInterface;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = index;
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    SetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                     PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                     PDWORD requiredSize, PSP_DEVINFO_DATA device) {
  ++calls;
  const DeviceSet* set = SetOf(handle);
  if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
    return Fail(ERROR_INVALID_PARAMETER);
  const std::wstring* path = PathAt(*set, data->Reserved);
  if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                          (path->size() + 1) * sizeof(wchar_t));
  if (requiredSize != nullptr) *requiredSize = needed;
  if (detail == nullptr)
    return Fail(detailSize == 0 ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_USER_BUFFER);
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
    return Fail(ERROR_INVALID_USER_BUFFER);
  if (detailSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  if (device != nullptr) {
    if (device->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    device->ClassGuid =
        GUID{0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0, 0}};
    device->DevInst = static_cast<DWORD>(data->Reserved + 1);
    device->Reserved = data->Reserved;
  }
  path->copy(detail->DevicePath, path->size());
  detail->DevicePath[path->size()] = L'\0';
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    SetupDiGetDeviceInstanceIdW(HDEVINFO handle, PSP_DEVINFO_DATA device, PWSTR buffer, DWORD size,
                                PDWORD requiredSize) {
  ++calls;
  const DeviceSet* set = SetOf(handle);
  if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
  if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA))
    return Fail(ERROR_INVALID_PARAMETER);
  const std::wstring* path = PathAt(*set, device->Reserved);
  if (path == nullptr) return Fail(ERROR_NO_SUCH_DEVINST);
  const std::wstring id = InstanceIdOf(*path);
  if (requiredSize != nullptr) *requiredSize = static_cast<DWORD>(id.size() + 1);
  if (buffer == nullptr || size < id.size() + 1) return Fail(ERROR_INSUFFICIENT_BUFFER);
  id.copy(buffer, id.size());
  buffer[id.size()] = L'\0';
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
  ++calls;
  DeviceSet* set = SetOf(handle);
  if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
  set->magic = 0;
  delete set;
  return TRUE;
}

}  // extern "C"
