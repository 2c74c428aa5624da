// What a bench holds: its units and how each is set up. The JSON bench description
// (sim/bench_description.h) is parsed into this; tests build it directly.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zel::sim {

enum class UnitModel { kOrvane, kKestrin, kPolyax };

const char* ModelName(UnitModel model) noexcept;         // "orvane", "kestrin", "polyax"
std::uint16_t ModelProductId(UnitModel model) noexcept;  // 0x314C, 0x314D, 0x314E
std::optional<UnitModel> ModelFromName(const std::string& name);

struct UnitConfig {
  int device = 0;  // driver device number, 0 to 127
  UnitModel model = UnitModel::kKestrin;
  // Descriptor overrides; by default the model's vendor 0x5A45, product ID and release 0.
  std::optional<std::uint16_t> vendor, product, release;
  bool firmwareRunning = false;               // firmware loaded and running from the start
  std::string serial;                         // up to 16 bytes in the EEPROM
  std::uint8_t eepromMarker = 176;            // EEPROM byte 0; 0xB2 moves the serial to 11
  std::array<std::uint8_t, 2> version{1, 0};  // major, minor
  std::uint16_t speedDivider = 0;             // initial speed register
  std::vector<std::int32_t> positions;        // initial positions, motor 1 first
  std::array<std::int32_t, 2> limits{-1000000, 1000000};  // backward, forward travel limit
  std::vector<int> motors;              // Polyax: connected motors; empty means 1 to 32
  std::vector<int> faultyMotors;        // Polyax: motors that answer with a communication fault
  std::map<int, std::uint16_t> adc;     // raw channel values; unset channels read 0xFFFF
  std::uint16_t temperatureRaw = 2048;  // initial channel-4 value
  int countsPerStep = 10;               // channel-4 change per actuator step (0: never moves)
  std::map<int, int> lines;             // initial line values, 0 or 1
  bool unplugged = false;               // the device number exists but cannot be opened
  // Bench time at which the unit leaves, as Bench::UnplugAt: a unit lost while in use.
  std::optional<std::uint64_t> unplugAtMillis;

  // Firmware timing, in microseconds of bench time.
  std::uint64_t lineBusyMicros = 20'000;
  std::uint64_t conversionMicros = 5'000;
  std::uint64_t actuatorMicros = 20'000;
  std::uint64_t mailboxMicros = 2'000;
  std::uint64_t commandMicros = 1'000;  // Polyax: time to carry out a mailbox command
  bool commandsNeverComplete = false;   // Polyax: the command register never returns to 0
};

struct BenchConfig {
  std::vector<UnitConfig> units;
  // The bench time each driver request (open, memory read or write, descriptor) takes, as the
  // wire takes it on a real unit. Virtual clock only; a live bench's requests take what they
  // take.
  std::uint64_t requestMicros = 0;
};

// An Orvane at device 0, a Kestrin at 1, a Polyax at 2, no firmware running, serial numbers
// "OR-0001", "KS-0001", "PX-0001".
BenchConfig DefaultBench();

}  // namespace zel::sim
