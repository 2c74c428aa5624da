// Every model's unit information: the boot EEPROM behind the firmware's mailbox, and the
// firmware version bytes.
#include <algorithm>
#include <vector>

#include "devices/unit_info_registers.h"
#include "link/ezusb_protocol.h"
#include "sim/firmware_models.h"

namespace zel::sim {

namespace {

namespace ui = unit_info;

// A small serial EEPROM: addresses wrap at its size, and unwritten cells read 0xFF.
constexpr std::size_t kEepromSize = 256;

std::vector<std::uint8_t> EepromImage(const UnitConfig& unit) {
  std::vector<std::uint8_t> eeprom(kEepromSize, 0xFF);
  eeprom[ui::kMarkerAddress] = unit.eepromMarker;
  // The header after the marker names the unit: vendor, product and release, then a
  // configuration byte.
  ezusb::Put16(&eeprom[1], unit.vendor.value_or(ezusb::kVendorId));
  ezusb::Put16(&eeprom[3], unit.product.value_or(ModelProductId(unit.model)));
  ezusb::Put16(&eeprom[5], unit.release.value_or(0));
  eeprom[7] = 0;
  const std::size_t at =
      unit.eepromMarker == ui::kImageMarker ? ui::kSerialAddressAfterImage : ui::kSerialAddress;
  std::fill_n(eeprom.begin() + static_cast<std::ptrdiff_t>(at), ui::kSerialLength, 0);
  const std::size_t length = std::min<std::size_t>(unit.serial.size(), ui::kSerialLength);
  std::copy_n(unit.serial.begin(), length, eeprom.begin() + static_cast<std::ptrdiff_t>(at));
  return eeprom;
}

// One EEPROM exchange at a time. The mailbox byte stays non-zero for the length of the
// exchange; a command written while one runs (such as the host's repeated write of the same
// command) is not taken again.
class UnitInfo final : public Peripheral {
 public:
  explicit UnitInfo(const UnitConfig& unit)
      : eeprom_(EepromImage(unit)),
        version_(unit.version),
        // Never instantaneous: the host's repeated write at the same instant must still find
        // the exchange running.
        exchangeMicros_(std::max<std::uint64_t>(unit.mailboxMicros, 1)) {}

  void Start(Memory& memory, std::uint64_t) override {
    memory[ui::kVersionMajor] = version_[0];
    memory[ui::kVersionMinor] = version_[1];
    memory[ui::kMailbox] = ui::kMailboxIdle;
    busy_ = false;
  }

  void Advance(Memory& memory, std::uint64_t now) override {
    if (!busy_ || now < doneAt_) return;
    for (std::uint32_t i = 0; i < count_; ++i)
      memory[static_cast<std::uint16_t>(ui::kMailboxData + i)] =
          eeprom_[(address_ + i) % eeprom_.size()];
    memory[ui::kMailbox] = ui::kMailboxIdle;
    busy_ = false;
  }

  void OnHostWrite(Memory& memory, std::uint16_t address, std::uint32_t length,
                   std::uint64_t now) override {
    if (!Touches(address, length, ui::kMailbox)) return;
    if (busy_) {
      memory[ui::kMailbox] = ui::kReadEeprom;
      return;
    }
    if (memory[ui::kMailbox] != ui::kReadEeprom) {
      memory[ui::kMailbox] = ui::kMailboxIdle;  // no such command
      return;
    }
    count_ = std::min<std::uint32_t>(memory[ui::kMailboxCount], ui::kMailboxChunk);
    address_ = ezusb::Get16(&memory[ui::kMailboxAddress]);
    doneAt_ = now + exchangeMicros_;
    busy_ = true;
  }

 private:
  const std::vector<std::uint8_t> eeprom_;
  const std::array<std::uint8_t, 2> version_;
  const std::uint64_t exchangeMicros_;
  bool busy_ = false;
  std::uint64_t doneAt_ = 0;
  std::uint32_t count_ = 0;
  std::uint32_t address_ = 0;
};

}  // namespace

void AddUnitInfo(Firmware& firmware, const UnitConfig& unit) {
  firmware.Add(std::make_unique<UnitInfo>(unit));
}

}  // namespace zel::sim
