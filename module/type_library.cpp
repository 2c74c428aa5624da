#include "module/type_library.h"

#include <string>

#include "module/module_file.h"

namespace zel {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

HRESULT Load(const std::wstring& path, ITypeLib** library) noexcept {
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

}  // namespace

HRESULT LoadEmbeddedTypeLibrary(ITypeLib** library) noexcept {
  if (library == nullptr) return E_POINTER;
  *library = nullptr;
  std::wstring path;
  if (HRESULT hr = ModulePathWide(path); FAILED(hr)) return hr;
  return Load(path, library);
}

HRESULT PlatformTypeLibraryRegistrar::Register(const std::string& modulePath,
                                               const std::string& helpDirectory) {
  const std::wstring path = Wide(modulePath), help = Wide(helpDirectory);
  ITypeLib* library = nullptr;
  if (HRESULT hr = Load(path, &library); FAILED(hr)) return hr;
  std::wstring pathArgument = path, helpArgument = help;  // the function takes them writable
  const HRESULT hr = RegisterTypeLib(library, pathArgument.data(),
                                     helpArgument.empty() ? nullptr : helpArgument.data());
  library->Release();
  return hr;
}

HRESULT PlatformTypeLibraryRegistrar::Unregister(const std::string& modulePath) {
  ITypeLib* library = nullptr;
  if (HRESULT hr = Load(Wide(modulePath), &library); FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  HRESULT hr = library->GetLibAttr(&attributes);
  if (SUCCEEDED(hr)) {
    // A library that is not registered (any more) is what unregistration wants; the platforms
    // differ in what they answer for one, so ask first.
    BSTR registered = nullptr;
    if (SUCCEEDED(QueryPathOfRegTypeLib(attributes->guid, attributes->wMajorVerNum,
                                        attributes->wMinorVerNum, attributes->lcid, &registered))) {
      SysFreeString(registered);
      hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                             attributes->lcid, attributes->syskind);
    }
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  return hr;
}

}  // namespace zel
