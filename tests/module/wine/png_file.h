// Writes a picture as a PNG file for a reader to look at: 8-bit indexed colour when the
// picture has at most 256 colours (a form capture has a handful), true colour otherwise, the
// image data in stored deflate blocks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace png_file {

inline std::uint32_t Crc(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(value >> shift));
}

inline void Chunk(std::vector<std::uint8_t>& file, const char* type,
                  const std::vector<std::uint8_t>& data) {
  PutBigEndian(file, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = file.size();
  file.insert(file.end(), type, type + 4);
  file.insert(file.end(), data.begin(), data.end());
  PutBigEndian(file, Crc(file.data() + start, file.size() - start));
}

// A zlib stream of `raw` in stored blocks.
inline std::vector<std::uint8_t> Stored(const std::vector<std::uint8_t>& raw) {
  std::vector<std::uint8_t> out = {0x78, 0x01};
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  std::size_t at = 0;
  do {
    const std::size_t length = std::min<std::size_t>(raw.size() - at, 65535);
    out.push_back(at + length == raw.size() ? 1 : 0);
    out.push_back(std::uint8_t(length)), out.push_back(std::uint8_t(length >> 8));
    out.push_back(std::uint8_t(~length)), out.push_back(std::uint8_t(~length >> 8));
    out.insert(out.end(), raw.begin() + at, raw.begin() + at + length);
    at += length;
  } while (at < raw.size());
  PutBigEndian(out, (b << 16) | a);
  return out;
}

// `pixels` are 0x00RRGGBB, `width` by `height`, top row first.
inline bool Write(const std::wstring& path, const std::uint32_t* pixels, int width, int height) {
  std::vector<std::uint32_t> palette;
  for (int i = 0; i < width * height && palette.size() <= 256; ++i)
    if (std::find(palette.begin(), palette.end(), pixels[i] & 0xFFFFFF) == palette.end())
      palette.push_back(pixels[i] & 0xFFFFFF);
  const bool indexed = palette.size() <= 256;
  std::vector<std::uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      const std::uint32_t p = pixels[y * width + x] & 0xFFFFFF;
      if (indexed)
        raw.push_back(std::uint8_t(std::find(palette.begin(), palette.end(), p) - palette.begin()));
      else
        raw.insert(raw.end(), {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p)});
    }
  }
  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutBigEndian(header, std::uint32_t(width));
  PutBigEndian(header, std::uint32_t(height));
  header.insert(header.end(), {8, std::uint8_t(indexed ? 3 : 2), 0, 0, 0});
  Chunk(file, "IHDR", header);
  if (indexed) {
    std::vector<std::uint8_t> colours;
    for (std::uint32_t p : palette)
      colours.insert(colours.end(), {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p)});
    Chunk(file, "PLTE", colours);
  }
  Chunk(file, "IDAT", Stored(raw));
  Chunk(file, "IEND", {});
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace png_file
