#include "module/module_file.h"

namespace zel {

HMODULE ThisModule() noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

namespace {

HRESULT LastError() noexcept {
  const DWORD error = GetLastError();
  return error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT ModulePath(std::string& path) {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(ThisModule(), buffer, MAX_PATH);
  if (length == 0) return LastError();
  path.assign(buffer, length);
  return S_OK;
}

HRESULT ModulePathWide(std::wstring& path) {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(ThisModule(), buffer, MAX_PATH);
  if (length == 0) return LastError();
  if (length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  path.assign(buffer, length);
  return S_OK;
}

std::string_view ModuleResource(const char* type, int id) noexcept {
  const HMODULE module = ThisModule();
  HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (info == nullptr) return {};
  HGLOBAL handle = LoadResource(module, info);
  const void* data = handle == nullptr ? nullptr : LockResource(handle);
  if (data == nullptr) return {};
  return {static_cast<const char*>(data), SizeofResource(module, info)};
}

}  // namespace zel
