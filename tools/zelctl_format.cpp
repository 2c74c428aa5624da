#include "tools/zelctl_format.h"

#include <charconv>
#include <cstdio>

namespace zel::zelctl {

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

struct ValueText {
  std::string operator()(std::monostate) const { return "S_OK"; }
  std::string operator()(std::int32_t value) const { return std::to_string(value); }
  std::string operator()(VARIANT_BOOL value) const { return std::to_string(value); }
  std::string operator()(double value) const { return FormatDouble(value); }
  std::string operator()(const std::string& value) const { return Quoted(value); }
};

}  // namespace

std::string FormatDouble(double value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string FormatValue(const CallResult& result) {
  if (result.hr < 0) {
    char text[32];
    std::snprintf(text, sizeof text, "HRESULT 0x%08X", static_cast<unsigned>(result.hr));
    return text;
  }
  return std::visit(ValueText{}, result.value);
}

std::string FormatResultLine(std::string_view member, const CallResult& result) {
  std::string line(member);
  return line + " -> " + FormatValue(result);
}

std::string FormatCompletionLine(const MoveCompletion& completion) {
  return std::string(completion.kind == MoveKind::kHome ? "HomeComplete " : "MoveComplete ") +
         std::to_string(completion.motor) + " " + std::to_string(completion.status) + " " +
         std::to_string(completion.position);
}

}  // namespace zel::zelctl
