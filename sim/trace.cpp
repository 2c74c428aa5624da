#include "sim/trace.h"

#include <cstdio>

namespace zel::sim {

namespace {
std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string Bytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) text += " " + Hex(b, 2);
  return text;
}

const char* Outcome(bool ok) {
  return ok ? "ok" : "fail";
}
}  // namespace

std::string FormatTrace(const TraceEntry& e) {
  const std::string device = std::to_string(e.device);
  switch (e.kind) {
    case TraceKind::kOpen:
      return "open " + device + " " + Outcome(e.ok);
    case TraceKind::kClose:
      return "close " + device;
    case TraceKind::kDescriptor:
      return "descriptor " + device + " " + Outcome(e.ok);
    case TraceKind::kWrite:
      return "write " + device + " 0x" + Hex(e.address, 4) + Bytes(e.bytes) + " " + Outcome(e.ok);
    case TraceKind::kRead:
      return "read " + device + " 0x" + Hex(e.address, 4) + " " + std::to_string(e.asked) + " " +
             Outcome(e.ok) + Bytes(e.bytes);
    case TraceKind::kSleep:
      return "sleep " + std::to_string(e.milliseconds);
    case TraceKind::kOther:
      return "request " + device + " 0x" + Hex(e.code, 8) + " " + Outcome(e.ok);
  }
  return {};
}

}  // namespace zel::sim
