#include <cstdlib>
#include <cstring>

#include "platform/automation.h"
#include "platform/code_page.h"

namespace {
int failAllocations = 0;

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length) {
  if (failAllocations > 0) {
    --failAllocations;
    return nullptr;
  }
  const std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(std::uint32_t) + bytes + 2));
  if (block == nullptr) return nullptr;
  const auto byteLength = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &byteLength, sizeof byteLength);
  auto* chars = reinterpret_cast<OLECHAR*>(block + sizeof(std::uint32_t));
  if (text != nullptr) std::memcpy(chars, text, bytes);
  chars[length] = 0;
  return chars;
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - sizeof(std::uint32_t));
}

std::uint32_t SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - sizeof bytes, sizeof bytes);
  return bytes / sizeof(OLECHAR);
}

namespace zel {

namespace automation {
void FailStringAllocations(int count) {
  failAllocations = count;
}
}  // namespace automation

HRESULT NarrowToBstr(std::string_view text, BSTR* out) noexcept {
  BSTR result = SysAllocStringLen(nullptr, static_cast<std::uint32_t>(text.size()));
  if (result == nullptr) return E_OUTOFMEMORY;
  for (std::size_t i = 0; i < text.size(); ++i)
    result[i] = FromCodePage(static_cast<unsigned char>(text[i]));
  *out = result;
  return S_OK;
}

std::string BstrToNarrow(BSTR text) {
  std::string narrow;
  const std::uint32_t length = SysStringLen(text);
  for (std::uint32_t i = 0; i < length && text[i] != 0; ++i)
    narrow += ToCodePage(text[i]).value_or('?');
  return narrow;
}

}  // namespace zel
