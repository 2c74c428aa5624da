// The Orvane unit's sensors: an analogue converter whose conversions fill every channel's
// result register, and a temperature actuator that moves the channel-4 sensor one step at a
// time.
#include <algorithm>
#include <array>
#include <limits>

#include "devices/sensor_registers.h"
#include "link/ezusb_protocol.h"
#include "sim/firmware_models.h"

namespace zel::sim {

namespace {

namespace sn = sensors;

// Channels 0 to 7, results at 0x1C03..0x1C12.
constexpr std::size_t kChannelCount = 8;
// Highest valid raw value; 0xFFFF means "no value".
constexpr std::int32_t kRawMax = 0xFFFE;

// A busy period that is never instantaneous: the host's repeated write of a trigger, at the
// same instant, must still find the first one running and so is not taken twice.
std::uint64_t BusyMicros(std::uint64_t configured) {
  return std::max<std::uint64_t>(configured, 1);
}

class OrvaneSensors final : public Peripheral {
 public:
  explicit OrvaneSensors(const UnitConfig& unit)
      : temperature_(std::min<std::int32_t>(unit.temperatureRaw, kRawMax)),
        countsPerStep_(unit.countsPerStep),
        conversionMicros_(BusyMicros(unit.conversionMicros)),
        actuatorMicros_(BusyMicros(unit.actuatorMicros)) {
    channels_.fill(sn::kNoChannelValue);
    for (const auto& [channel, raw] : unit.adc)
      if (channel >= 0 && static_cast<std::size_t>(channel) < kChannelCount)
        channels_[static_cast<std::size_t>(channel)] = raw;
  }

  // Until the first conversion every result register holds "no value".
  void Start(Memory& memory, std::uint64_t) override {
    memory[sn::kConversionTrigger] = 0;
    for (std::size_t n = 0; n < kChannelCount; ++n)
      ezusb::Put16(&memory[sn::ChannelAddress(static_cast<std::int32_t>(n))], sn::kNoChannelValue);
    memory[sn::kActuatorCommand] = 0;
    ezusb::Put16(&memory[sn::kActuatorReadback], 0);
    converting_ = stepping_ = false;
  }

  // Finishes what is due, earliest first, so a conversion that ends after a step sees the
  // step's effect.
  void Advance(Memory& memory, std::uint64_t now) override {
    for (;;) {
      const bool conversionDue = converting_ && conversionDoneAt_ <= now;
      const bool stepDue = stepping_ && stepDoneAt_ <= now;
      if (stepDue && (!conversionDue || stepDoneAt_ <= conversionDoneAt_)) {
        FinishStep(memory);
      } else if (conversionDue) {
        FinishConversion(memory);
      } else {
        return;
      }
    }
  }

  void OnHostWrite(Memory& memory, std::uint16_t address, std::uint32_t length,
                   std::uint64_t now) override {
    if (Touches(address, length, sn::kConversionTrigger)) {
      if (!converting_ && memory[sn::kConversionTrigger] != 0) {
        converting_ = true;
        conversionDoneAt_ = now + conversionMicros_;
      }
      memory[sn::kConversionTrigger] = converting_ ? 1 : 0;
    }
    if (Touches(address, length, sn::kActuatorCommand)) {
      if (!stepping_ && memory[sn::kActuatorCommand] == sn::kActuatorExecute) {
        const auto step = static_cast<std::int16_t>(ezusb::Get16(&memory[sn::kActuatorStep]));
        direction_ = (step > 0) - (step < 0);
        stepping_ = true;
        stepDoneAt_ = now + actuatorMicros_;
      }
      memory[sn::kActuatorCommand] = stepping_ ? sn::kActuatorExecute : 0;
    }
  }

 private:
  void FinishConversion(Memory& memory) {
    for (std::size_t n = 0; n < kChannelCount; ++n) {
      const std::uint16_t raw = n == static_cast<std::size_t>(sn::kTemperatureChannel)
                                    ? static_cast<std::uint16_t>(temperature_)
                                    : channels_[n];
      ezusb::Put16(&memory[sn::ChannelAddress(static_cast<std::int32_t>(n))], raw);
    }
    memory[sn::kConversionTrigger] = 0;
    converting_ = false;
  }

  // The sensor follows the actuator at once, within its range; the readback register counts the
  // steps taken.
  void FinishStep(Memory& memory) {
    temperature_ = std::clamp(temperature_ + direction_ * countsPerStep_, 0, kRawMax);
    stepsTaken_ = static_cast<std::uint16_t>(stepsTaken_ + direction_);
    ezusb::Put16(&memory[sn::kActuatorReadback], stepsTaken_);
    memory[sn::kActuatorCommand] = 0;
    stepping_ = false;
  }

  std::array<std::uint16_t, kChannelCount> channels_{};
  std::int32_t temperature_;
  const std::int32_t countsPerStep_;
  const std::uint64_t conversionMicros_;
  const std::uint64_t actuatorMicros_;
  bool converting_ = false;
  std::uint64_t conversionDoneAt_ = 0;
  bool stepping_ = false;
  std::uint64_t stepDoneAt_ = 0;
  std::int32_t direction_ = 0;
  std::uint16_t stepsTaken_ = 0;
};

}  // namespace

void AddOrvaneSensors(Firmware& firmware, const UnitConfig& unit) {
  firmware.Add(std::make_unique<OrvaneSensors>(unit));
}

}  // namespace zel::sim
