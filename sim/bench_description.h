// A bench written down as JSON, so a shell session or a simulated server can be pointed at a
// setup without recompiling:
//
//   {"units": [{"device": 3, "model": "kestrin", "firmware": "running", "serial": "KS-0002"}]}
//
// Each unit needs `device` (0 to 127) and `model` ("orvane", "kestrin", "polyax"); every other
// key is optional and defaults as in UnitConfig. Unknown keys, values of the wrong type or out
// of range, and two units on one device number are rejected; the message names the key, as in
// "units[1].limits[0]: expected an integer from -2147483648 to 2147483647".
#pragma once

#include <optional>
#include <string>

#include "sim/bench_config.h"

namespace zel::sim {

// The bench described by `json`, or nullopt with `error` set to what is wrong.
std::optional<BenchConfig> ParseBenchDescription(const std::string& json, std::string& error);

// The same, read from a file. The error names the file first: "bench.json: units: ...".
std::optional<BenchConfig> LoadBenchDescription(const std::string& path, std::string& error);

}  // namespace zel::sim
