// The bench's check that operations of different threads never mixed their traffic.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/trace.h"

namespace zel::sim {

// Each thread brackets its operations with Bench::Mark("begin") and Bench::Mark("end"). An
// operation occupies the wire from its first to its last driver entry; the result describes
// the first pair of operations of different threads whose spans overlap, or is empty.
std::optional<std::string> FindInterleaving(const std::vector<TraceEntry>& trace);

}  // namespace zel::sim
