// Small builders for bench setups used across the suite.
#pragma once

#include <string>
#include <vector>

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

}  // namespace zel::testing
