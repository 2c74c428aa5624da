// Arbitrary text as a bench description: rejected with a message or accepted, never a crash;
// an accepted bench must be buildable.
#include <cstdlib>
#include <string>

#include "sim/bench.h"
#include "sim/bench_description.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string json(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto config = zel::sim::ParseBenchDescription(json, error);
  if (!config) {
    if (error.empty()) std::abort();
    return 0;
  }
  zel::sim::Bench bench(*config);
  return 0;
}
