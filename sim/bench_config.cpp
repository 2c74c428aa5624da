#include "sim/bench_config.h"

#include "link/ezusb_protocol.h"

namespace zel::sim {

const char* ModelName(UnitModel model) noexcept {
  return ezusb::ProductOf(model).key;
}

std::uint16_t ModelProductId(UnitModel model) noexcept {
  return ezusb::ProductOf(model).id;
}

std::optional<UnitModel> ModelFromName(const std::string& name) {
  for (UnitModel m : {UnitModel::kOrvane, UnitModel::kKestrin, UnitModel::kPolyax})
    if (name == ModelName(m)) return m;
  return std::nullopt;
}

BenchConfig DefaultBench() {
  BenchConfig bench;
  const struct {
    UnitModel model;
    const char* serial;
  } units[] = {{UnitModel::kOrvane, "OR-0001"},
               {UnitModel::kKestrin, "KS-0001"},
               {UnitModel::kPolyax, "PX-0001"}};
  int device = 0;
  for (const auto& u : units) {
    UnitConfig unit;
    unit.device = device++;
    unit.model = u.model;
    unit.serial = u.serial;
    bench.units.push_back(unit);
  }
  return bench;
}

}  // namespace zel::sim
