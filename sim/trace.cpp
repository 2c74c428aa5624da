#include "sim/trace.h"

#include <cstdio>

namespace zel::sim {

namespace {
void AppendHex(std::string& text, unsigned value, int digits) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%0*X", digits, value);
  text += hex;
}

void AppendBytes(std::string& text, const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) {
    text += ' ';
    AppendHex(text, b, 2);
  }
}

const char* Outcome(bool ok) {
  return ok ? " ok" : " fail";
}
}  // namespace

std::string FormatTrace(const TraceEntry& e) {
  std::string text;
  const auto head = [&](const char* word) {
    text += word;
    text += ' ';
    text += std::to_string(e.device);
  };
  switch (e.kind) {
    case TraceKind::kOpen:
      head("open");
      text += Outcome(e.ok);
      break;
    case TraceKind::kClose:
      head("close");
      break;
    case TraceKind::kDescriptor:
      head("descriptor");
      text += Outcome(e.ok);
      break;
    case TraceKind::kWrite:
      head("write");
      text += " 0x";
      AppendHex(text, e.address, 4);
      AppendBytes(text, e.bytes);
      text += Outcome(e.ok);
      break;
    case TraceKind::kRead:
      head("read");
      text += " 0x";
      AppendHex(text, e.address, 4);
      text += ' ';
      text += std::to_string(e.asked);
      text += Outcome(e.ok);
      AppendBytes(text, e.bytes);
      break;
    case TraceKind::kSleep:
      text += "sleep ";
      text += std::to_string(e.milliseconds);
      break;
    case TraceKind::kMark:
      text += "mark ";
      text += e.label;
      break;
    case TraceKind::kOther:
      head("request");
      text += " 0x";
      AppendHex(text, e.code, 8);
      text += Outcome(e.ok);
      break;
  }
  return text;
}

}  // namespace zel::sim
