// The units' code page, Windows-1252: their serial numbers and the library's texts are in it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zel {

// The character of a code-page byte. The five bytes the code page leaves undefined stand for
// the control character of the same value.
char16_t FromCodePage(unsigned char byte);

// The code-page byte of a character, or nothing when the code page cannot hold it.
std::optional<char> ToCodePage(char32_t character);

// UTF-8 text in the code page; nothing when it is not UTF-8 or holds a character the code page
// cannot.
std::optional<std::string> Utf8ToCodePage(std::string_view utf8);

}  // namespace zel
