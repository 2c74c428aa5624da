// Every automation member against a unit that fails at each of its requests in turn.
//
// For each member and a representative call, a healthy run counts the driver requests the call
// makes; then, for every request k of the call, the call runs again on a fresh bench with that
// request failing, and again with the unit unplugged just before it. Each run must return
// S_OK, leave no device open and the class lock free, give the member's failure value or the
// healthy result (a partial success such as a write whose repeat got through), leave a defined
// status code with its message, and send no register write after the failed request unless
// the operation is one that goes on by design.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <set>
#include <thread>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;

sim::BenchConfig HealthyUnits() {
  sim::UnitConfig orvane = testing::Unit(0, UnitModel::kOrvane, true);
  orvane.speedDivider = 17;
  orvane.serial = "OR-0001";
  orvane.adc = {{0, 100}};
  orvane.temperatureRaw = 3048;
  sim::UnitConfig kestrin = testing::Unit(1, UnitModel::kKestrin, true);
  kestrin.speedDivider = 13;
  kestrin.serial = "KS-0001";
  sim::UnitConfig polyax = testing::Unit(2, UnitModel::kPolyax, true);
  polyax.speedDivider = 13;
  polyax.serial = "PX-0001";
  return testing::Bench({orvane, kestrin, polyax});
}

std::string Text(BSTR s) {
  std::string text = "\"" + BstrToNarrow(s) + "\"";
  SysFreeString(s);
  return text;
}

std::string Number(double value) {
  if (std::isinf(value)) return "inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

template <typename Control>
struct Case {
  const char* member;
  std::function<std::string(Control&, HRESULT&)> call;
  std::set<std::string> failureValues;
  bool goesOn = false;  // keeps writing after a failed request by design
};

// A move counts as started once its command byte went out: a status check that fails after it
// does not call the move off, and the Polyax unit still gets the commands that run it. Nor does
// a failed read of the motor's position between the step count and the command byte: without
// it, a stopped status after the command sends the command once more, as without a position.
constexpr std::uint16_t kMoveCommand = 0x1C20;
constexpr std::uint16_t kStepCount = 0x1C30;

enum class Fault { kFailRequest, kUnplug };

struct Sweep {
  int cases = 0;
  std::vector<std::string> problems;
};

// Writes that reached the unit after a failed request. A write goes out twice; when only its
// first request fails the write as a whole succeeded, and the operation rightly goes on.
int WritesAfterFailure(const std::vector<sim::TraceEntry>& trace) {
  const sim::TraceEntry* failed = nullptr;
  bool countWritten = false;
  int writes = 0;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const auto& e = trace[i];
    if (failed == nullptr && e.kind == sim::TraceKind::kWrite && e.ok && e.address == kMoveCommand)
      return 0;
    if (failed == nullptr) {
      const bool request = e.kind == sim::TraceKind::kWrite || e.kind == sim::TraceKind::kRead ||
                           e.kind == sim::TraceKind::kDescriptor;
      if (e.kind == sim::TraceKind::kWrite && e.address == kStepCount) countWritten = e.ok;
      if (!request || e.ok) continue;
      if (countWritten && e.address != kStepCount)
        continue;  // the position read before the command
      const bool repeated = e.kind == sim::TraceKind::kWrite && i + 1 < trace.size() &&
                            trace[i + 1].kind == sim::TraceKind::kWrite && trace[i + 1].ok &&
                            trace[i + 1].address == e.address && trace[i + 1].bytes == e.bytes;
      if (!repeated) failed = &e;
      continue;
    }
    if (e.kind == sim::TraceKind::kWrite && e.ok) ++writes;
  }
  return writes;
}

template <typename Control>
void RunCase(const Case<Control>& c, Sweep& sweep) {
  std::string healthy;
  std::uint64_t requests = 0;
  {
    sim::Bench bench(HealthyUnits());
    Control control({bench, ""});
    const auto before = bench.RequestCount();
    HRESULT hr = E_FAIL;
    healthy = c.call(control, hr);
    requests = bench.RequestCount() - before;
  }
  for (std::uint64_t k = 1; k <= requests; ++k) {
    for (Fault fault : {Fault::kFailRequest, Fault::kUnplug}) {
      sim::Bench bench(HealthyUnits());
      Control control({bench, ""});
      const int device = control.Link().DeviceIndex();
      if (fault == Fault::kFailRequest)
        bench.FailRequest(k);
      else
        bench.UnplugBeforeRequest(k, device);
      bench.ClearTrace();
      HRESULT hr = E_FAIL;
      const std::string result = c.call(control, hr);
      const auto trace = bench.Trace();
      ++sweep.cases;

      std::string where = std::string(Control::kClass.name) + "." + c.member +
                          " k=" + std::to_string(k) +
                          (fault == Fault::kFailRequest ? " failing" : " unplugged") + ": ";
      if (hr != S_OK) sweep.problems.push_back(where + "HRESULT " + std::to_string(hr));
      if (bench.OpenHandles() != 0) sweep.problems.push_back(where + "a device left open");
      bool lockFree = false;
      std::thread([&] {
        lockFree = ClassLock(Control::kClass).TryAcquire();
        if (lockFree) ClassLock(Control::kClass).Release();
      }).join();
      if (!lockFree) sweep.problems.push_back(where + "class lock held");
      if (result != healthy && !c.failureValues.count(result))
        sweep.problems.push_back(where + "result " + result + " (healthy " + healthy + ")");
      std::int32_t code = -1;
      BSTR text = nullptr;
      control.get_LastError(&code);
      control.get_LastErrorText(&text);
      const std::string message = Text(text);
      if (code < 0 || code > 14 ||
          message != "\"" + std::string(StatusMessage(static_cast<LinkStatus>(code))) + "\"")
        sweep.problems.push_back(where + "status " + std::to_string(code) + " " + message);
      if (!c.goesOn && WritesAfterFailure(trace) != 0) {
        std::string lines;
        for (const auto& e : trace) lines += "\n    " + sim::FormatTrace(e);
        sweep.problems.push_back(where + "register writes after the failed request" + lines);
      }
    }
  }
}

template <typename Control>
std::vector<Case<Control>> CommonCases(const char* serial) {
  const std::set<std::string> no = {"0"};
  return {
      {"MoveHome",
       [](Control& c, HRESULT& hr) {
         VARIANT_BOOL r = -1;
         hr = c.MoveHome(1, 1, &r);  // asynchronous: homing takes long
         return std::to_string(r);
       },
       no},
      {"MoveMotor",
       [](Control& c, HRESULT& hr) {
         VARIANT_BOOL r = -1;
         hr = c.MoveMotor(1, 20, 0, &r);
         return std::to_string(r);
       },
       no},
      {"MoveToPos",
       [](Control& c, HRESULT& hr) {
         VARIANT_BOOL r = -1;
         hr = c.MoveToPos(1, -15, 0, &r);
         return std::to_string(r);
       },
       no},
      {"GetMotorStatus",
       [](Control& c, HRESULT& hr) {
         EMotorStatus s = eMotorStopped;
         hr = c.GetMotorStatus(1, &s);
         return std::to_string(s);
       },
       {"4"}},
      {"GetMotorPosition",
       [](Control& c, HRESULT& hr) {
         std::int32_t p = 0;
         hr = c.GetMotorPosition(1, &p);
         return std::to_string(p);
       },
       {"2147483647"}},
      {"Stop",
       [](Control& c, HRESULT& hr) {
         VARIANT_BOOL r = -1;
         hr = c.Stop(1, &r);
         return std::to_string(r);
       },
       no},
      {"SetMotorFreq",
       [](Control& c, HRESULT& hr) {
         VARIANT_BOOL r = -1;
         hr = c.SetMotorFreq(1, 750, &r);
         return std::to_string(r);
       },
       no},
      {"GetMotorFreq",
       [](Control& c, HRESULT& hr) {
         std::int32_t f = 0;
         hr = c.GetMotorFreq(1, &f);
         return std::to_string(f);
       },
       {"-1", "0"}},
      {"IsDevicePresent",
       [](Control& c, HRESULT& hr) {
         VARIANT_BOOL r = -1;
         hr = c.IsDevicePresent(&r);
         return std::to_string(r);
       },
       no},
      {"SetSerial",
       [serial](Control& c, HRESULT& hr) {
         BSTR s = nullptr;
         NarrowToBstr(serial, &s);
         VARIANT_BOOL r = -1;
         hr = c.SetSerial(s, &r);
         SysFreeString(s);
         return std::to_string(r);
       },
       no, true},
      {"GetSerial",
       [](Control& c, HRESULT& hr) {
         BSTR s = nullptr;
         hr = c.GetSerial(&s);
         return Text(s);
       },
       {"\"\""},
       true},
      {"SetMotorMode",
       [](Control& c, HRESULT& hr) {
         VARIANT_BOOL r = -1;
         hr = c.SetMotorMode(1, 1, &r);
         return std::to_string(r);
       },
       no},
      {"GetMotorMode",
       [](Control& c, HRESULT& hr) {
         std::int32_t m = 0;
         hr = c.GetMotorMode(1, &m);
         return std::to_string(m);
       },
       {"0"}},
      {"LastError",
       [](Control& c, HRESULT& hr) {
         std::int32_t e = -1;
         hr = c.get_LastError(&e);
         return std::to_string(e);
       },
       {}},
      {"LastErrorText",
       [](Control& c, HRESULT& hr) {
         BSTR s = nullptr;
         hr = c.get_LastErrorText(&s);
         return Text(s);
       },
       {}},
      {"FirmwareVersion",
       [](Control& c, HRESULT& hr) {
         BSTR s = nullptr;
         hr = c.get_FirmwareVersion(&s);
         return Text(s);
       },
       {"\"0.0\"", "\"0.1\"", "\"1.0\""}},
  };
}

TEST(FaultSweepTest, EveryMemberFailsSoundlyAtEveryRequest) {
  Sweep sweep;
  for (const auto& c : CommonCases<KestrinControl>("KS-0001")) RunCase(c, sweep);
  auto orvane = CommonCases<OrvaneControl>("OR-0001");
  orvane.push_back({"Temperature",
                    [](OrvaneControl& c, HRESULT& hr) {
                      double t = 0;
                      hr = c.get_Temperature(&t);
                      return Number(t);
                    },
                    {"inf"}});
  orvane.push_back({"Temperature=",
                    [](OrvaneControl& c, HRESULT& hr) {
                      hr = c.put_Temperature(20.2);
                      return std::string("S_OK");
                    },
                    {}});
  orvane.push_back({"ADC",
                    [](OrvaneControl& c, HRESULT& hr) {
                      double v = 0;
                      hr = c.get_ADC(0, &v);
                      return Number(v);
                    },
                    {"2147483647"}});
  orvane.push_back({"UndervoltageDetection",
                    [](OrvaneControl& c, HRESULT& hr) {
                      VARIANT_BOOL v = -1;
                      hr = c.get_UndervoltageDetection(&v);
                      return std::to_string(v);
                    },
                    {"1"}});
  orvane.push_back({"UndervoltageDetection=",
                    [](OrvaneControl& c, HRESULT& hr) {
                      hr = c.put_UndervoltageDetection(0);
                      return std::string("S_OK");
                    },
                    {}});
  for (const auto& c : orvane) RunCase(c, sweep);
  auto polyax = CommonCases<PolyaxControl>("PX-0001");
  polyax.push_back({"SetShutterState",
                    [](PolyaxControl& c, HRESULT& hr) {
                      VARIANT_BOOL r = -1;
                      hr = c.SetShutterState(1, 1, &r);
                      return std::to_string(r);
                    },
                    {"0"}});
  polyax.push_back({"GetShutterState",
                    [](PolyaxControl& c, HRESULT& hr) {
                      VARIANT_BOOL r = -1;
                      hr = c.GetShutterState(2, &r);
                      return std::to_string(r);
                    },
                    {"0"}});
  for (const auto& c : polyax) RunCase(c, sweep);

  std::printf("fault sweep: %d (member, k, fault) cases run\n", sweep.cases);
  RecordProperty("cases", sweep.cases);
  for (const auto& p : sweep.problems) ADD_FAILURE() << p;
  EXPECT_GT(sweep.cases, 500);
}

}  // namespace
}  // namespace zel
