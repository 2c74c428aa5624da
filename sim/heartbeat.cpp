#include "sim/heartbeat.h"

#include "link/ezusb_protocol.h"

namespace zel::sim {

void Heartbeat::Start(Memory& memory, std::uint64_t now) {
  startedAt_ = now;
  Advance(memory, now);
}

void Heartbeat::Advance(Memory& memory, std::uint64_t now) {
  memory[ezusb::kHeartbeat] = static_cast<std::uint8_t>(1 + (now - startedAt_) / kPeriodMicros);
}

}  // namespace zel::sim
