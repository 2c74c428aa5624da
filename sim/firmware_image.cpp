#include "sim/firmware_image.h"

#include "link/ezusb_protocol.h"

namespace zel::sim {

const char* FirmwareFileName(UnitModel model) noexcept {
  return ezusb::ProductOf(model).firmwareFile;
}

void ImageTracker::OnReset() noexcept {
  written_.reset();
}

void ImageTracker::OnWrite(std::uint16_t address, std::uint32_t length) noexcept {
  for (std::uint32_t i = 0; i < length && i < written_.size(); ++i)
    written_.set(static_cast<std::uint16_t>(address + i));
}

bool ImageTracker::AllWritten(std::uint32_t from, std::uint32_t length) const noexcept {
  for (std::uint32_t a = from; a < from + length; ++a)
    if (a >= written_.size() || !written_.test(a)) return false;
  return true;
}

bool ImageTracker::Bootable(const Memory& memory, UnitModel model) const noexcept {
  const std::uint8_t* header = &memory[image::kLoadAddress];
  if (!AllWritten(image::kLoadAddress, image::kHeaderSize)) return false;
  for (std::size_t i = 0; i < sizeof image::kSignature; ++i)
    if (header[i] != image::kSignature[i]) return false;
  if (ezusb::Get16(header + image::kProductOffset) != ModelProductId(model)) return false;
  const std::uint16_t length = ezusb::Get16(header + image::kLengthOffset);
  if (length > image::kMaxBodyLength) return false;
  const std::uint32_t body = image::kLoadAddress + image::kHeaderSize;
  if (!AllWritten(body, length)) return false;
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < length; ++i) sum += memory[body + i];
  return static_cast<std::uint16_t>(sum) == ezusb::Get16(header + image::kChecksumOffset);
}

}  // namespace zel::sim
