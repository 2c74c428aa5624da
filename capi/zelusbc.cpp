// The C library: each exported function finds its object, calls the control's automation member
// under the control's lock and maps the outcome to a result code. Nothing thrown leaves a
// function: every one catches and answers ZEL_ERROR_OUT_OF_MEMORY or ZEL_ERROR_INTERNAL.
#define ZELUSBC_BUILDING
#include "capi/zelusbc.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <type_traits>

#include "capi/handles.h"
#include "capi/units_driver.h"
#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "link/link_status.h"
#include "platform/automation.h"
#include "platform/module_path.h"
#include "sim/bench.h"
#include "sim/bench_description.h"

namespace zel::capi {
namespace {

constexpr struct {
  int code;
  const char* text;
} kResults[] = {
    {ZEL_OK, "ok"},
    {ZEL_ERROR_HANDLE, "not a handle of a living bench or control"},
    {ZEL_ERROR_NULL_POINTER, "a required pointer is null"},
    {ZEL_ERROR_BUFFER_TOO_SMALL, "the buffer is too small for the text"},
    {ZEL_ERROR_UNKNOWN_CLASS, "unknown class: expected orvane, kestrin or polyax"},
    {ZEL_ERROR_BENCH, "the bench description cannot be read or is malformed"},
    {ZEL_ERROR_NOT_A_MEMBER, "the member is not one of this control's class"},
    {ZEL_ERROR_NO_DRIVER, "the attached units cannot be reached"},
    {ZEL_ERROR_OUT_OF_MEMORY, "out of memory"},
    {ZEL_ERROR_INTERNAL, "internal error"},
    {ZEL_ERROR_TIMEOUT, "the wait ended before what it waited for came"},
    {ZEL_ERROR_NO_UNIT, "the bench has no unit at that device number"},
};
static_assert(std::size(kResults) == 1 - ZEL_ERROR_NO_UNIT);

// The library lives as long as the process: its tables are never destroyed, so a call made
// while the process ends (a finaliser of a language runtime, say) still finds them.
struct Library {
  std::atomic<std::uintptr_t> next{1};
  HandleTable<BenchObject> benches{next};
  HandleTable<ControlObject> controls{next};
  UnitsDriver units;
  // The firmware images lie beside the library's own file.
  std::string firmwareDirectory = DirectoryOfModuleHolding(&kResults);
  // Held while a control of the class searches its units (creation, zel_set_serial): the
  // search opens each unit, exclusively, and two at once would each miss the unit the other
  // holds open.
  std::mutex searching[std::size(ezusb::kProducts)];

  std::mutex& Searching(const ezusb::Product& product) {
    return searching[&product - ezusb::kProducts];
  }

  static Library& Get() {
    static Library* library = new Library;
    return *library;
  }
};

int FromHresult(HRESULT hr) noexcept {
  if (hr == S_OK) return ZEL_OK;
  if (hr == E_OUTOFMEMORY) return ZEL_ERROR_OUT_OF_MEMORY;
  if (hr == E_POINTER) return ZEL_ERROR_NULL_POINTER;
  return ZEL_ERROR_INTERNAL;
}

// Runs `body` and turns whatever it throws into a result.
template <typename Body>
int Guarded(Body body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ZEL_ERROR_OUT_OF_MEMORY;
  } catch (...) {
    return ZEL_ERROR_INTERNAL;
  }
}

// `text` into the caller's buffer, as the header describes.
int CopyOut(const std::string& text, char* buffer, std::size_t size, std::size_t* length) {
  if (length != nullptr) *length = text.size();
  if (buffer == nullptr) return size == 0 ? ZEL_OK : ZEL_ERROR_NULL_POINTER;
  if (size <= text.size()) {
    if (size > 0) buffer[0] = '\0';
    return ZEL_ERROR_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return ZEL_OK;
}

// Every class has the member; Only<OrvaneControl> and the like name the one class that has it.
struct AnyClass {};
template <typename Control>
struct Only {};

template <typename Control, typename Filter>
constexpr bool kHasMember =
    std::is_same_v<Filter, AnyClass> || std::is_same_v<Filter, Only<Control>>;

std::shared_ptr<ControlObject> FindControl(zel_control* handle) {
  return Library::Get().controls.Find(reinterpret_cast<std::uintptr_t>(handle));
}

// Calls `call(control)` with the control of `object` under its lock, when its class has the
// member. The callback's thread then looks again: the call may have started a move.
template <typename Filter = AnyClass, typename Call>
int OnControl(ControlObject& object, Call call) {
  std::lock_guard lock(object.lock);
  const int result = std::visit(
      [&](auto& control) {
        using Control = std::remove_cvref_t<decltype(*control)>;
        if constexpr (kHasMember<Control, Filter>) {
          return call(*control);
        } else {
          return ZEL_ERROR_NOT_A_MEMBER;
        }
      },
      object.control);
  object.events.Wake();
  return result;
}

// Calls `call(control)` with the control of `handle`, as OnControl does.
template <typename Filter = AnyClass, typename Call>
int WithControl(zel_control* handle, Call call) noexcept {
  return Guarded([&] {
    const auto object = FindControl(handle);
    if (!object) return ZEL_ERROR_HANDLE;
    return OnControl<Filter>(*object, call);
  });
}

// Repeats `look()` until it answers other than ZEL_ERROR_TIMEOUT, pausing through the control's
// driver between two looks (each look takes the lock for itself, so other calls get their turn
// between them) until `timeoutMs` of pauses have passed.
template <typename Look>
int Waiting(ControlObject& object, std::uint32_t timeoutMs, Look look) {
  for (std::uint32_t waited = 0;;) {
    const int result = look();
    if (result != ZEL_ERROR_TIMEOUT || waited >= timeoutMs) return result;
    const std::uint32_t pause = std::min(kMovePollPauseMs, timeoutMs - waited);
    object.driver->Sleep(pause);
    waited += pause;
  }
}

// A member with one out value: `member(control, &raw)` fills a value of the member's own type
// (VARIANT_BOOL, EMotorStatus, ...), which reaches *out converted.
template <typename Raw, typename Filter = AnyClass, typename T, typename Member>
int Value(zel_control* handle, T* out, Member member) noexcept {
  return WithControl<Filter>(handle, [&](auto& control) {
    if (out == nullptr) return ZEL_ERROR_NULL_POINTER;
    Raw raw{};
    const int result = FromHresult(member(control, &raw));
    if (result == ZEL_OK) *out = static_cast<T>(raw);
    return result;
  });
}

// A member with a text result.
template <typename Member>
int Text(zel_control* handle, char* buffer, std::size_t size, std::size_t* length,
         Member member) noexcept {
  return WithControl(handle, [&](auto& control) {
    if (buffer == nullptr && size != 0) return ZEL_ERROR_NULL_POINTER;
    BSTR text = nullptr;
    const int result = FromHresult(member(control, &text));
    if (result != ZEL_OK) return result;
    std::string narrow;
    try {
      narrow = BstrToNarrow(text);
    } catch (...) {
      SysFreeString(text);
      throw;
    }
    SysFreeString(text);
    return CopyOut(narrow, buffer, size, length);
  });
}

int CreateBench(const std::optional<sim::BenchConfig>& config, const std::string& error, int live,
                zel_bench** bench, char* message, std::size_t size, std::size_t* length) {
  if (!config) {
    if (length != nullptr) *length = error.size();
    if (message != nullptr && size > 0) {
      const std::size_t n = error.size() < size ? error.size() : size - 1;
      std::memcpy(message, error.data(), n);
      message[n] = '\0';
    }
    return ZEL_ERROR_BENCH;
  }
  if (length != nullptr) *length = 0;
  if (message != nullptr && size > 0) message[0] = '\0';
  auto simulated =
      std::make_shared<sim::Bench>(*config, live ? sim::Clocking::kLive : sim::Clocking::kVirtual);
  // Nobody reads the bench's record back, so it keeps none.
  simulated->SetTraceRecording(false);
  auto object = std::make_shared<BenchObject>();
  object->bench = std::move(simulated);
  *bench = reinterpret_cast<zel_bench*>(Library::Get().benches.Add(std::move(object)));
  return ZEL_OK;
}

int SetPlugged(zel_bench* handle, int device, bool plugged) {
  return Guarded([&] {
    const auto object = Library::Get().benches.Find(reinterpret_cast<std::uintptr_t>(handle));
    if (!object) return ZEL_ERROR_HANDLE;
    if (!object->bench->HasUnit(device)) return ZEL_ERROR_NO_UNIT;
    if (object->bench->Plugged(device) == plugged) return ZEL_OK;
    if (plugged) {
      object->bench->Replug(device);
    } else {
      object->bench->Unplug(device);
    }
    return ZEL_OK;
  });
}

}  // namespace
}  // namespace zel::capi

using namespace zel;
using namespace zel::capi;

extern "C" {

int zel_result_text(int result, char* buffer, size_t size, size_t* length) {
  return Guarded([&] {
    for (const auto& known : kResults) {
      if (known.code != result) continue;
      std::string text = known.text;
      // Why the units' driver could not start, when it could not.
      const std::string why = Library::Get().units.Why();
      if (result == ZEL_ERROR_NO_DRIVER && !why.empty()) text += ": " + why;
      return CopyOut(text, buffer, size, length);
    }
    return CopyOut("unknown result", buffer, size, length);
  });
}

int zel_bench_create(const char* description, int live, zel_bench** bench, char* error,
                     size_t error_size, size_t* error_length) {
  return Guarded([&] {
    if (bench == nullptr) return ZEL_ERROR_NULL_POINTER;
    std::string message;
    const auto config = description == nullptr ? std::optional(sim::DefaultBench())
                                               : sim::ParseBenchDescription(description, message);
    return CreateBench(config, message, live, bench, error, error_size, error_length);
  });
}

int zel_bench_load(const char* path, int live, zel_bench** bench, char* error, size_t error_size,
                   size_t* error_length) {
  return Guarded([&] {
    if (bench == nullptr || path == nullptr) return ZEL_ERROR_NULL_POINTER;
    std::string message;
    const auto config = sim::LoadBenchDescription(path, message);
    return CreateBench(config, message, live, bench, error, error_size, error_length);
  });
}

int zel_bench_destroy(zel_bench* bench) {
  return Guarded([&] {
    return Library::Get().benches.Remove(reinterpret_cast<std::uintptr_t>(bench))
               ? ZEL_OK
               : ZEL_ERROR_HANDLE;
  });
}

int zel_bench_unplug(zel_bench* bench, int device) {
  return SetPlugged(bench, device, false);
}

int zel_bench_plug(zel_bench* bench, int device) {
  return SetPlugged(bench, device, true);
}

int zel_control_create(const char* class_name, zel_bench* bench, zel_control** control) {
  return Guarded([&] {
    if (control == nullptr || class_name == nullptr) return ZEL_ERROR_NULL_POINTER;
    const auto kind = KindFromName(class_name);
    if (!kind) return ZEL_ERROR_UNKNOWN_CLASS;
    Library& library = Library::Get();
    auto object = std::make_shared<ControlObject>();
    object->kind = *kind;
    if (bench != nullptr) {
      const auto onBench = library.benches.Find(reinterpret_cast<std::uintptr_t>(bench));
      if (!onBench) return ZEL_ERROR_HANDLE;
      object->driver = onBench->bench;
    } else {
      object->driver = library.units.Get();
      if (!object->driver) return ZEL_ERROR_NO_DRIVER;
    }
    {
      std::lock_guard searching(library.Searching(ezusb::ProductOf(*kind)));
      object->control = MakeControl(*kind, {*object->driver, library.firmwareDirectory});
    }
    *control = reinterpret_cast<zel_control*>(library.controls.Add(std::move(object)));
    return ZEL_OK;
  });
}

int zel_control_destroy(zel_control* control) {
  return Guarded([&] {
    const auto object = FindControl(control);
    if (!object || !Library::Get().controls.Remove(reinterpret_cast<std::uintptr_t>(control)))
      return ZEL_ERROR_HANDLE;
    object->events.Remove();
    return ZEL_OK;
  });
}

int zel_control_class(zel_control* control, char* buffer, size_t size, size_t* length) {
  return Guarded([&] {
    const auto object = Library::Get().controls.Find(reinterpret_cast<std::uintptr_t>(control));
    if (!object) return ZEL_ERROR_HANDLE;
    return CopyOut(KindName(object->kind), buffer, size, length);
  });
}

int zel_move_home(zel_control* control, int32_t motor, int asynchronous, int* result) {
  return Value<VARIANT_BOOL>(control, result, [&](auto& c, VARIANT_BOOL* out) {
    return c.MoveHome(motor, ToVariantBool(asynchronous != 0), out);
  });
}

int zel_move_motor(zel_control* control, int32_t motor, int32_t steps, int asynchronous,
                   int* result) {
  return Value<VARIANT_BOOL>(control, result, [&](auto& c, VARIANT_BOOL* out) {
    return c.MoveMotor(motor, steps, ToVariantBool(asynchronous != 0), out);
  });
}

int zel_move_to_pos(zel_control* control, int32_t motor, int32_t position, int asynchronous,
                    int* result) {
  return Value<VARIANT_BOOL>(control, result, [&](auto& c, VARIANT_BOOL* out) {
    return c.MoveToPos(motor, position, ToVariantBool(asynchronous != 0), out);
  });
}

int zel_get_motor_status(zel_control* control, int32_t motor, int32_t* status) {
  return Value<EMotorStatus>(
      control, status, [&](auto& c, EMotorStatus* out) { return c.GetMotorStatus(motor, out); });
}

int zel_get_motor_position(zel_control* control, int32_t motor, int32_t* position) {
  return Value<std::int32_t>(control, position, [&](auto& c, std::int32_t* out) {
    return c.GetMotorPosition(motor, out);
  });
}

int zel_stop(zel_control* control, int32_t motor, int* result) {
  return Value<VARIANT_BOOL>(control, result,
                             [&](auto& c, VARIANT_BOOL* out) { return c.Stop(motor, out); });
}

int zel_set_motor_freq(zel_control* control, int32_t motor, int32_t freq, int* result) {
  return Value<VARIANT_BOOL>(control, result, [&](auto& c, VARIANT_BOOL* out) {
    return c.SetMotorFreq(motor, freq, out);
  });
}

int zel_get_motor_freq(zel_control* control, int32_t motor, int32_t* freq) {
  return Value<std::int32_t>(
      control, freq, [&](auto& c, std::int32_t* out) { return c.GetMotorFreq(motor, out); });
}

int zel_set_motor_mode(zel_control* control, int32_t motor, int32_t mode, int* result) {
  return Value<VARIANT_BOOL>(control, result, [&](auto& c, VARIANT_BOOL* out) {
    return c.SetMotorMode(motor, mode, out);
  });
}

int zel_get_motor_mode(zel_control* control, int32_t motor, int32_t* mode) {
  return Value<std::int32_t>(
      control, mode, [&](auto& c, std::int32_t* out) { return c.GetMotorMode(motor, out); });
}

int zel_is_device_present(zel_control* control, int* result) {
  return Value<VARIANT_BOOL>(control, result,
                             [&](auto& c, VARIANT_BOOL* out) { return c.IsDevicePresent(out); });
}

int zel_get_last_error(zel_control* control, int32_t* code) {
  return Value<std::int32_t>(control, code,
                             [&](auto& c, std::int32_t* out) { return c.get_LastError(out); });
}

int zel_get_last_error_text(zel_control* control, char* buffer, size_t size, size_t* length) {
  return Text(control, buffer, size, length,
              [&](auto& c, BSTR* out) { return c.get_LastErrorText(out); });
}

// One reading of the code, and its message from that reading.
int zel_get_last_error_and_text(zel_control* control, int32_t* code, char* buffer, size_t size,
                                size_t* length) {
  return WithControl(control, [&](auto& c) {
    if (code == nullptr) return ZEL_ERROR_NULL_POINTER;
    std::int32_t read = 0;
    const int result = FromHresult(c.get_LastError(&read));
    if (result != ZEL_OK) return result;
    const int copied = CopyOut(StatusMessage(static_cast<LinkStatus>(read)), buffer, size, length);
    if (copied == ZEL_OK) *code = read;
    return copied;
  });
}

int zel_set_serial(zel_control* control, const char* serial, int* result) {
  return Value<VARIANT_BOOL>(control, result, [&](auto& c, VARIANT_BOOL* out) {
    using Control = std::remove_cvref_t<decltype(c)>;
    std::lock_guard searching(Library::Get().Searching(*Control::kClass.product));
    BSTR text = nullptr;
    const HRESULT made = NarrowToBstr(serial == nullptr ? "" : serial, &text);
    if (made != S_OK) return made;
    const HRESULT hr = c.SetSerial(text, out);
    SysFreeString(text);
    return hr;
  });
}

int zel_get_serial(zel_control* control, char* buffer, size_t size, size_t* length) {
  return Text(control, buffer, size, length, [&](auto& c, BSTR* out) { return c.GetSerial(out); });
}

int zel_get_device_number(zel_control* control, int32_t* number) {
  return WithControl(control, [&](auto& c) {
    if (number == nullptr) return ZEL_ERROR_NULL_POINTER;
    const EzUsbLink& link = c.Link();
    *number = link.DevicePresent() ? link.DeviceIndex() : -1;
    return ZEL_OK;
  });
}

int zel_get_firmware_version(zel_control* control, char* buffer, size_t size, size_t* length) {
  return Text(control, buffer, size, length,
              [&](auto& c, BSTR* out) { return c.get_FirmwareVersion(out); });
}

int zel_get_temperature(zel_control* control, double* value) {
  return Value<double, Only<OrvaneControl>>(
      control, value, [&](OrvaneControl& c, double* out) { return c.get_Temperature(out); });
}

int zel_set_temperature(zel_control* control, double value) {
  return WithControl<Only<OrvaneControl>>(
      control, [&](OrvaneControl& c) { return FromHresult(c.put_Temperature(value)); });
}

int zel_get_adc(zel_control* control, int32_t channel, double* value) {
  return Value<double, Only<OrvaneControl>>(
      control, value, [&](OrvaneControl& c, double* out) { return c.get_ADC(channel, out); });
}

int zel_get_undervoltage_detection(zel_control* control, int* on) {
  return Value<VARIANT_BOOL, Only<OrvaneControl>>(
      control, on,
      [&](OrvaneControl& c, VARIANT_BOOL* out) { return c.get_UndervoltageDetection(out); });
}

int zel_set_undervoltage_detection(zel_control* control, int on) {
  return WithControl<Only<OrvaneControl>>(control, [&](OrvaneControl& c) {
    return FromHresult(c.put_UndervoltageDetection(ToVariantBool(on != 0)));
  });
}

int zel_set_shutter_state(zel_control* control, int32_t shutter, int open, int* result) {
  return Value<VARIANT_BOOL, Only<PolyaxControl>>(
      control, result, [&](PolyaxControl& c, VARIANT_BOOL* out) {
        return c.SetShutterState(shutter, ToVariantBool(open != 0), out);
      });
}

int zel_get_shutter_state(zel_control* control, int32_t shutter, int* open) {
  return Value<VARIANT_BOOL, Only<PolyaxControl>>(
      control, open,
      [&](PolyaxControl& c, VARIANT_BOOL* out) { return c.GetShutterState(shutter, out); });
}

const char* zel_version(void) {
  return ZELUSBC_VERSION;
}

int zel_wait_motor(zel_control* control, int32_t motor, uint32_t timeout_ms, int32_t* status) {
  return Guarded([&] {
    const auto object = FindControl(control);
    if (!object) return ZEL_ERROR_HANDLE;
    if (status == nullptr) return ZEL_ERROR_NULL_POINTER;
    return Waiting(*object, timeout_ms, [&] {
      return OnControl(*object, [&](auto& c) {
        // The motor's pending move ends through the poll, which produces its event.
        if (c.MovesPending(motor)) {
          c.PollMoves();
          if (c.MovesPending(motor)) return ZEL_ERROR_TIMEOUT;
        }
        EMotorStatus now = eMotorStatusError;
        c.GetMotorStatus(motor, &now);
        if (now == eMotorRunning) return ZEL_ERROR_TIMEOUT;
        *status = now;
        return ZEL_OK;
      });
    });
  });
}

int zel_next_event(zel_control* control, uint32_t timeout_ms, zel_motion_event* event) {
  return Guarded([&] {
    const auto object = FindControl(control);
    if (!object) return ZEL_ERROR_HANDLE;
    if (event == nullptr) return ZEL_ERROR_NULL_POINTER;
    if (object->events.Active()) return ZEL_ERROR_TIMEOUT;  // the callback takes them all
    return Waiting(*object, timeout_ms, [&] {
      bool pending = false;
      return NextEvent(*object, *event, pending) ? ZEL_OK : ZEL_ERROR_TIMEOUT;
    });
  });
}

int zel_set_event_callback(zel_control* control, zel_event_callback callback, void* user_data) {
  return Guarded([&] {
    auto object = FindControl(control);
    if (!object) return ZEL_ERROR_HANDLE;
    if (callback == nullptr)
      object->events.Remove();
    else
      object->events.Set(object, callback, user_data);
    return ZEL_OK;
  });
}

}  // extern "C"
