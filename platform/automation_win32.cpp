#include <string>

#include "platform/automation.h"

namespace zel {

HRESULT NarrowToBstr(std::string_view text, BSTR* out) noexcept {
  const int size = static_cast<int>(text.size());
  const int wide = size == 0 ? 0 : MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(wide));
  if (result == nullptr) return E_OUTOFMEMORY;
  if (wide > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), size, result, wide);
  *out = result;
  return S_OK;
}

std::string BstrToNarrow(BSTR text) {
  if (text == nullptr) return {};
  const int length = static_cast<int>(wcsnlen(text, SysStringLen(text)));
  if (length == 0) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

}  // namespace zel
