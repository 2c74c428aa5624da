// DownloadHexFile: writes an Intel HEX firmware image into the chip while the 8051 is held.
#include <cstdio>
#include <cstring>
#include <memory>

#include "link/ez_usb_link.h"

namespace zel {

namespace {

// fgets reads at most 259 characters of a line; a longer line's rest is read as the next line.
constexpr int kLineBuffer = 260;
constexpr std::uint8_t kHoldInReset = 1;
constexpr int kTypeEndOfFile = 1;

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// The two characters at `pos` (fewer when the line ends sooner), lower-cased, each taken as
// d = c − '0', less 39 more when above 9. No character is rejected: the checksum catches most.
int ParseHexField(const char* line, std::size_t length, std::size_t pos) noexcept {
  int value = 0;
  for (std::size_t i = pos; i < pos + 2 && i < length; ++i) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    int d = static_cast<signed char>(c) - '0';
    if (d > 9) d -= 39;
    value = value * 16 + d;
  }
  return value;
}

}  // namespace

bool EzUsbLink::DownloadHexFile(const char* path) noexcept {
  if (!WriteByte(kHoldInReset, ezusb::kCpucs)) return false;
  UniqueFile file(std::fopen(path, "rt"));
  if (!file) {
    status_ = LinkStatus::eErrorFileNotFound;
    return false;
  }
  char line[kLineBuffer];
  std::uint8_t data[256];
  const auto formatError = [this] {
    status_ = LinkStatus::eErrorIHexFileFormat;
    return false;
  };
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    const std::size_t length = std::strlen(line);
    const auto field = [&](std::size_t pos) {
      return static_cast<std::uint8_t>(ParseHexField(line, length, pos));
    };
    if (line[0] != ':' || length <= 1) return formatError();
    const std::uint8_t count = field(1);
    if (length <= 3) return formatError();
    const std::uint8_t high = field(3);
    if (length <= 5) return formatError();
    const std::uint8_t low = field(5);
    if (length <= 7) return formatError();
    const std::uint8_t type = field(7);
    if (length <= 9) return formatError();
    if (type == kTypeEndOfFile) return true;
    unsigned sum = count + high + low + type;
    for (std::size_t i = 0; i < count; ++i) {
      data[i] = field(9 + 2 * i);
      if (11 + 2 * i >= length) return formatError();
      sum += data[i];
    }
    sum += field(9 + 2 * std::size_t{count});
    if (sum % 256 != 0) {
      status_ = LinkStatus::eErrorIHexFileCorrupt;
      return false;
    }
    // Every other record type is data at its own 16-bit address; no extended addressing.
    if (!WriteMemory(data, count, static_cast<std::uint16_t>(high * 256 + low))) return false;
  }
  // The end of the file ends the download; a file that cannot be read (a directory, say) is
  // a failure, not an empty image.
  if (std::ferror(file.get())) {
    status_ = LinkStatus::eErrorFileNotFound;
    return false;
  }
  return true;
}

}  // namespace zel
