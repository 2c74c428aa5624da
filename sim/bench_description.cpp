#include "sim/bench_description.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "platform/code_page.h"

namespace zel::sim {

namespace {

using nlohmann::json;

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::size_t kSerialBytes = 16;  // the EEPROM's serial field
constexpr int kDualMotorCount = 2;
constexpr int kPolyaxMotorCount = 32;
constexpr int kAdcChannels = 8;  // the converter fills channels 0 to 7
constexpr int kLineCount = 16;   // two 8-bit ports

// Thrown inside this file only; the public functions turn it into their error text.
struct Invalid {
  std::string message;
};

// A second per request is already far slower than any wire.
constexpr std::int64_t kMaxRequestMicros = 1'000'000;
// A day of bench time: later than any session waits for.
constexpr std::int64_t kMaxUnplugMillis = 86'400'000;

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw Invalid{path + ": " + what};
}

std::int64_t Integer(const json& value, const std::string& path, std::int64_t low,
                     std::int64_t high) {
  const std::string expected =
      "expected an integer from " + std::to_string(low) + " to " + std::to_string(high);
  std::int64_t number = 0;
  if (value.is_number_unsigned()) {
    const auto raw = value.get<std::uint64_t>();
    if (raw > static_cast<std::uint64_t>(high < 0 ? 0 : high)) Fail(path, expected);
    number = static_cast<std::int64_t>(raw);
  } else if (value.is_number_integer()) {
    number = value.get<std::int64_t>();
  } else {
    Fail(path, expected);
  }
  if (number < low || number > high) Fail(path, expected);
  return number;
}

const json& Array(const json& value, const std::string& path, std::size_t minSize,
                  std::size_t maxSize) {
  if (!value.is_array() || value.size() < minSize || value.size() > maxSize) {
    const std::string count = minSize == maxSize
                                  ? std::to_string(minSize)
                                  : std::to_string(minSize) + " to " + std::to_string(maxSize);
    Fail(path, "expected an array of " + count + " elements");
  }
  return value;
}

std::string Index(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

// The numbers of an object's keys: {"4": 2048} names channel 4.
int KeyNumber(const std::string& key, const std::string& path, int count) {
  int number = 0;
  const bool digits =
      !key.empty() && key.size() <= 3 && key.find_first_not_of("0123456789") == std::string::npos;
  if (digits) number = std::stoi(key);
  if (!digits || number >= count)
    Fail(path, "\"" + key + "\" is not a number from 0 to " + std::to_string(count - 1));
  return number;
}

// Motor numbers of a Polyax unit, each 1 to 32 and listed once.
std::vector<int> MotorList(const json& value, const std::string& path) {
  Array(value, path, 1, kPolyaxMotorCount);
  std::vector<int> motors;
  std::set<int> seen;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const int motor = static_cast<int>(Integer(value[i], Index(path, i), 1, kPolyaxMotorCount));
    if (!seen.insert(motor).second)
      Fail(Index(path, i), "motor " + std::to_string(motor) + " is listed twice");
    motors.push_back(motor);
  }
  return motors;
}

void ReadOptional(UnitConfig& unit, const std::string& key, const json& value,
                  const std::string& path) {
  const bool polyax = unit.model == UnitModel::kPolyax;
  auto u16 = [&] { return static_cast<std::uint16_t>(Integer(value, path, 0, 0xFFFF)); };
  if (key == "vendor") {
    unit.vendor = u16();
  } else if (key == "product") {
    unit.product = u16();
  } else if (key == "release") {
    unit.release = u16();
  } else if (key == "firmware") {
    if (value == "running") {
      unit.firmwareRunning = true;
    } else if (value == "none") {
      unit.firmwareRunning = false;
    } else {
      Fail(path, "expected \"running\" or \"none\"");
    }
  } else if (key == "serial") {
    // JSON text is UTF-8; the unit keeps its serial in the code page, as every client reads it.
    const auto serial = value.is_string() ? Utf8ToCodePage(value.get<std::string>()) : std::nullopt;
    if (!serial) Fail(path, "expected a text in Windows-1252, the units' code page");
    if (serial->size() > kSerialBytes) Fail(path, "expected a text of up to 16 bytes");
    unit.serial = *serial;
  } else if (key == "eepromMarker") {
    unit.eepromMarker = static_cast<std::uint8_t>(Integer(value, path, 0, 0xFF));
  } else if (key == "version") {
    Array(value, path, 2, 2);
    for (std::size_t i = 0; i < 2; ++i)
      unit.version[i] = static_cast<std::uint8_t>(Integer(value[i], Index(path, i), 0, 0xFF));
  } else if (key == "speedDivider") {
    unit.speedDivider = u16();
  } else if (key == "positions") {
    Array(value, path, 0, polyax ? kPolyaxMotorCount : kDualMotorCount);
    unit.positions.clear();
    for (std::size_t i = 0; i < value.size(); ++i)
      unit.positions.push_back(
          static_cast<std::int32_t>(Integer(value[i], Index(path, i), kInt32Min, kInt32Max)));
  } else if (key == "limits") {
    Array(value, path, 2, 2);
    for (std::size_t i = 0; i < 2; ++i)
      unit.limits[i] =
          static_cast<std::int32_t>(Integer(value[i], Index(path, i), kInt32Min, kInt32Max));
    if (unit.limits[0] > unit.limits[1])
      Fail(path, "the backward limit lies beyond the forward limit");
  } else if (key == "motors" || key == "faultyMotors") {
    if (!polyax) Fail(path, "only a polyax unit has more than two motors to list");
    (key == "motors" ? unit.motors : unit.faultyMotors) = MotorList(value, path);
  } else if (key == "adc") {
    if (!value.is_object()) Fail(path, "expected an object from channel number to raw value");
    for (const auto& [channel, raw] : value.items()) {
      const std::string at = path + "." + channel;
      unit.adc[KeyNumber(channel, at, kAdcChannels)] =
          static_cast<std::uint16_t>(Integer(raw, at, 0, 0xFFFF));
    }
  } else if (key == "temperatureRaw") {
    unit.temperatureRaw = u16();
  } else if (key == "countsPerStep") {
    unit.countsPerStep = static_cast<int>(Integer(value, path, kInt32Min, kInt32Max));
  } else if (key == "lines") {
    if (!value.is_object()) Fail(path, "expected an object from line number to 0 or 1");
    for (const auto& [line, on] : value.items()) {
      const std::string at = path + "." + line;
      unit.lines[KeyNumber(line, at, kLineCount)] = static_cast<int>(Integer(on, at, 0, 1));
    }
  } else if (key == "unplugged") {
    if (!value.is_boolean()) Fail(path, "expected true or false");
    unit.unplugged = value.get<bool>();
  } else if (key == "unplugAtMillis") {
    unit.unplugAtMillis = static_cast<std::uint64_t>(Integer(value, path, 0, kMaxUnplugMillis));
  } else if (key != "device" && key != "model") {
    Fail(path, "unknown key");
  }
}

UnitConfig ReadUnit(const json& value, const std::string& path) {
  if (!value.is_object()) Fail(path, "expected an object describing a unit");
  UnitConfig unit;
  for (const char* required : {"device", "model"})
    if (!value.contains(required)) Fail(path + "." + required, "missing, but required");
  unit.device = static_cast<int>(Integer(value["device"], path + ".device", 0, 127));
  const json& model = value["model"];
  const auto parsed = model.is_string() ? ModelFromName(model.get<std::string>()) : std::nullopt;
  if (!parsed) Fail(path + ".model", "expected \"orvane\", \"kestrin\" or \"polyax\"");
  unit.model = *parsed;
  for (const auto& [key, item] : value.items()) ReadOptional(unit, key, item, path + "." + key);
  return unit;
}

BenchConfig ReadBench(const json& root) {
  if (!root.is_object()) Fail("description", "expected an object with the key \"units\"");
  for (const auto& [key, item] : root.items())
    if (key != "units" && key != "requestMicros") Fail(key, "unknown key");
  if (!root.contains("units")) Fail("units", "missing, but required");
  const json& units = root["units"];
  if (!units.is_array()) Fail("units", "expected an array of units");
  BenchConfig bench;
  if (root.contains("requestMicros"))
    bench.requestMicros = static_cast<std::uint64_t>(
        Integer(root["requestMicros"], "requestMicros", 0, kMaxRequestMicros));
  std::set<int> devices;
  for (std::size_t i = 0; i < units.size(); ++i) {
    UnitConfig unit = ReadUnit(units[i], Index("units", i));
    if (!devices.insert(unit.device).second)
      Fail(Index("units", i) + ".device",
           "device number " + std::to_string(unit.device) + " is taken by an earlier unit");
    bench.units.push_back(std::move(unit));
  }
  return bench;
}

}  // namespace

std::optional<BenchConfig> ParseBenchDescription(const std::string& text, std::string& error) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {
    // A syntax error, or a number too large for any type (out_of_range). The library's text starts
    // with its own tag in brackets; the rest says where and what.
    std::string what = e.what();
    const auto tag = what.find("] ");
    error = "not valid JSON: " + (tag == std::string::npos ? what : what.substr(tag + 2));
    return std::nullopt;
  }
  try {
    return ReadBench(root);
  } catch (const Invalid& invalid) {
    error = invalid.message;
    return std::nullopt;
  }
}

std::optional<BenchConfig> LoadBenchDescription(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  auto bench = ParseBenchDescription(text.str(), error);
  if (!bench) error = path + ": " + error;
  return bench;
}

}  // namespace zel::sim
