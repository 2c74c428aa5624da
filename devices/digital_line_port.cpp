#include "devices/digital_line_port.h"

#include "devices/busy_poll.h"
#include "devices/line_port_registers.h"

namespace zel {

namespace lp = line_port;

// A failed read yields 0, which must not pass for an idle port: every read of the command
// byte is checked against the link's status, and a failure keeps the link's code.
DigitalLinePort::Command DigitalLinePort::ReadCommandState() {
  DeviceLockGuard guard(lock_);
  const std::uint8_t command = link_.ReadByte(lp::kCommand);
  if (link_.GetStatus() != LinkStatus::eErrorNoError) return Command::kUnreadable;
  return command == lp::kIdle ? Command::kIdle : Command::kBusy;
}

bool DigitalLinePort::IsLineBusy() {
  return ReadCommandState() != Command::kIdle;
}

bool DigitalLinePort::WaitLineIdle() {
  DeviceLockGuard guard(lock_);
  return WaitWhileBusy(link_, kPollPauseLimit, [this] {
    DeviceLockGuard inner(lock_);
    return link_.ReadByte(lp::kCommand) != lp::kIdle;
  });
}

// An earlier command still in progress is not waited for: the caller learns "Device busy".
bool DigitalLinePort::ReadyFor(std::int32_t line) {
  const Command state = ReadCommandState();
  if (state == Command::kUnreadable) return false;
  if (state == Command::kBusy) {
    link_.SetStatus(LinkStatus::eErrorDeviceBusy);
    return false;
  }
  return lp::IsLine(line);
}

bool DigitalLinePort::ReadLine(std::int32_t line) {
  DeviceLockGuard guard(lock_);
  if (!ReadyFor(line)) return false;
  const auto port = static_cast<std::uint8_t>(lp::PortOf(line));
  // The command byte goes out twice in succession, as the firmware expects it.
  if (!link_.WriteByte(port, lp::kPort) || !link_.WriteByte(lp::MaskOf(line), lp::kMask) ||
      !link_.WriteByte(lp::kReadLine, lp::kCommand) ||
      !link_.WriteByte(lp::kReadLine, lp::kCommand))
    return false;
  if (!WaitLineIdle()) return false;
  return link_.ReadByte(lp::kValue) != 0;
}

bool DigitalLinePort::WriteLine(std::int32_t line, bool on) {
  DeviceLockGuard guard(lock_);
  if (!ReadyFor(line)) return false;
  const auto port = static_cast<std::uint8_t>(lp::PortOf(line));
  if (!link_.WriteByte(on ? 1 : 0, lp::kValue) || !link_.WriteByte(port, lp::kPort) ||
      !link_.WriteByte(lp::MaskOf(line), lp::kMask) ||
      !link_.WriteByte(lp::kWriteLine, lp::kCommand) ||
      !link_.WriteByte(lp::kWriteLine, lp::kCommand))
    return false;
  return WaitLineIdle();
}

}  // namespace zel
