#include <cstdlib>
#include <cstring>

#include "platform/automation.h"

namespace {
int failAllocations = 0;

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined,
// which pass through as the control character of the same value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t FromCodePage(unsigned char c) {
  if (c >= 0x80 && c <= 0x9F && kHighControls[c - 0x80] != 0) return kHighControls[c - 0x80];
  return c;
}

char ToCodePage(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == c || (kHighControls[i] == 0 && c == 0x80 + i))
      return static_cast<char>(0x80 + i);
  return '?';
}
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
  for (std::uint32_t i = 0; i < length && text[i] != 0; ++i) narrow += ToCodePage(text[i]);
  return narrow;
}

}  // namespace zel
