// The simulator build: a bench on real time stands in for the driver and the units, so client
// programs can drive the real library without hardware. The bench is described by the JSON
// file named in ZELUSB_BENCH (the default bench when the variable is unset or empty) and lives
// as long as the process.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "module/module_driver.h"
#include "sim/bench.h"
#include "sim/bench_description.h"

namespace zel {
namespace {

sim::BenchConfig BenchFromEnvironment() {
  const char* path = std::getenv("ZELUSB_BENCH");
  if (path == nullptr || *path == '\0') return sim::DefaultBench();
  std::string error;
  if (auto config = sim::LoadBenchDescription(path, error)) return *config;
  // The client sees only failed controls; this line tells its developer why.
  std::fprintf(stderr, "ZELUSB bench: %s; no units attached\n", error.c_str());
  return {};
}

}  // namespace

Driver& ModuleDriver() {
  static sim::Bench bench(BenchFromEnvironment(), sim::Clocking::kLive);
  return bench;
}

}  // namespace zel
