// Device numbers for the units a USB backend finds, shared by the libusb and WinUSB drivers.
//
// A unit gets its number when it is first seen: the lowest number never given before. The
// number belongs to the unit's port and product ID from then on, for as long as the process
// runs. A unit that leaves frees nothing: its number waits for that port, and a replug into it
// answers at the same number. A unit of another product at that port gets a new number. So a
// number never reaches another unit than the one it was given to, and a control bound to a
// number fails with "no device" while its unit is away instead of driving a neighbour.
// At most 128 numbers are given (the device names run from 0 to 127); a unit seen after that
// has none.
//
// Not thread-safe: the driver that owns it serialises the calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

class UnitNumbering {
 public:
  static constexpr int kMaxNumbers = 128;

  // Where a number belongs: the port ("1-2.3" on Linux, the device instance path on Windows)
  // and the product ID of the unit first seen there.
  struct Owner {
    std::string port;
    std::uint16_t productId = 0;
  };

  // The number of the unit of `productId` at `port`, given now if it has none yet; nullopt when
  // all numbers are given. Backends call it for the units they find in port order, so units
  // present together at the start are numbered in that order.
  std::optional<int> NumberOf(std::string_view port, std::uint16_t productId);

  // The port and product that `number` belongs to; nullptr when it was never given.
  const Owner* OwnerOf(int number) const noexcept;

 private:
  std::vector<Owner> owners_;  // index: the number
};

// One line of a backend's list of the units attached now (zelctl --usb --list).
struct ListedUnit {
  enum class State {
    kReady,         // can be opened now
    kInUse,         // open in this or another program
    kRefused,       // the operating system refuses it to this user
    kUnconfigured,  // attached but not configured (a hub short of power, say)
    kOtherDriver,   // bound to a driver other than the one this backend speaks through
  };
  int number = -1;  // -1: all 128 numbers are given
  std::uint16_t productId = 0;
  std::string port;
  State state = State::kReady;
};

}  // namespace zel
