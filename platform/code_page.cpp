#include "platform/code_page.h"

namespace zel {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five bytes the code page leaves undefined.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The next character of `utf8` from `at` on, moving `at` past it; nothing when malformed.
std::optional<char32_t> NextCharacter(std::string_view utf8, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(utf8[at++]);
  if (lead < 0x80) return lead;
  const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
  if (more < 0 || lead > 0xF4 || at + static_cast<std::size_t>(more) > utf8.size())
    return std::nullopt;
  char32_t character = lead & (0x3F >> more);
  for (int k = 0; k < more; ++k) {
    const auto next = static_cast<unsigned char>(utf8[at++]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    character = (character << 6) | (next & 0x3F);
  }
  return character;
}

}  // namespace

char16_t FromCodePage(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F && kHighControls[byte - 0x80] != 0)
    return kHighControls[byte - 0x80];
  return byte;
}

std::optional<char> ToCodePage(char32_t character) {
  if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
    return static_cast<char>(character);
  for (int i = 0; i < 32; ++i) {
    const bool undefined = kHighControls[i] == 0 && character == static_cast<char32_t>(0x80 + i);
    if (kHighControls[i] == character || undefined) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

std::optional<std::string> Utf8ToCodePage(std::string_view utf8) {
  std::string text;
  for (std::size_t at = 0; at < utf8.size();) {
    const auto character = NextCharacter(utf8, at);
    const auto byte = character ? ToCodePage(*character) : std::nullopt;
    if (!byte) return std::nullopt;
    text += *byte;
  }
  return text;
}

}  // namespace zel
