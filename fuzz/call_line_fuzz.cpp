// Arbitrary bytes as a zelctl line and as a -c option: the parser is total and stays inside
// its input.
#include <cstdlib>
#include <string_view>

#include "tools/zelctl_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto line = zel::zelctl::ParseCallLine(text);
  using Kind = zel::zelctl::CallLine::Kind;
  if (line.kind == Kind::kError && line.error.empty()) std::abort();
  if ((line.kind == Kind::kCall || line.kind == Kind::kPut) && line.name.empty()) std::abort();
  for (const auto& call : zel::zelctl::SplitCalls(text)) zel::zelctl::ParseCallLine(call);
  return 0;
}
