// The bench trace as register traffic: each request's "open"/"close" pair is dropped, and a pair
// with nothing between them (the link's status probe) shows as "status".
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "sim/bench.h"
#include "sim/bench_config.h"

namespace zel::testing {

inline std::vector<std::string> Exchanges(const sim::Bench& bench) {
  const std::vector<std::string> lines = bench.TraceLines();
  std::vector<std::string> exchanges;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const bool opened = line.rfind("open ", 0) == 0 && line.size() > 3 &&
                        line.compare(line.size() - 3, 3, " ok") == 0;
    if (opened && i + 1 < lines.size() && lines[i + 1].rfind("close ", 0) == 0) {
      exchanges.push_back("status");
      ++i;
    } else if (!opened && line.rfind("close ", 0) != 0) {
      exchanges.push_back(line);
    }
  }
  return exchanges;
}

// The exchanges that start with `prefix`, in order.
inline std::vector<std::string> Only(const std::vector<std::string>& exchanges,
                                     const std::string& prefix) {
  std::vector<std::string> picked;
  for (const auto& e : exchanges)
    if (e.rfind(prefix, 0) == 0) picked.push_back(e);
  return picked;
}

inline std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// How many exchanges start with `prefix`.
inline long CountOf(const std::vector<std::string>& exchanges, const std::string& prefix) {
  return std::count_if(exchanges.begin(), exchanges.end(),
                       [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
}

// A unit of `model` at device 0 with its firmware running.
inline sim::BenchConfig RunningUnit(sim::UnitModel model, sim::UnitConfig unit = {}) {
  unit.device = 0;
  unit.model = model;
  unit.firmwareRunning = true;
  sim::BenchConfig config;
  config.units.push_back(unit);
  return config;
}

}  // namespace zel::testing
