// Small builders for bench setups used across the suite.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/automation.h"

#include "sim/bench.h"

namespace zel::testing {

inline sim::UnitConfig Unit(int device, sim::UnitModel model, bool firmwareRunning = false) {
  sim::UnitConfig unit;
  unit.device = device;
  unit.model = model;
  unit.firmwareRunning = firmwareRunning;
  return unit;
}

inline sim::BenchConfig Bench(std::vector<sim::UnitConfig> units) {
  sim::BenchConfig config;
  config.units = std::move(units);
  return config;
}

// The trace lines of the given kinds only (e.g. only "write" and "read" lines).
inline std::vector<std::string> Lines(const sim::Bench& bench,
                                      std::initializer_list<const char*> prefixes) {
  std::vector<std::string> picked;
  for (const auto& line : bench.TraceLines())
    for (const char* prefix : prefixes)
      if (line.rfind(std::string(prefix) + " ", 0) == 0) picked.push_back(line);
  return picked;
}

// How many lines start with `prefix`.
inline long Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

// Owns an automation string for one scope: a result to read, or an argument to pass.
struct Bstr {
  BSTR text = nullptr;
  Bstr() = default;
  explicit Bstr(const std::u16string& s)
      : text(SysAllocStringLen(s.data(), static_cast<std::uint32_t>(s.size()))) {}
  explicit Bstr(const std::string& narrow) { NarrowToBstr(narrow, &text); }
  ~Bstr() { SysFreeString(text); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  std::string Narrow() const { return BstrToNarrow(text); }
};

}  // namespace zel::testing
