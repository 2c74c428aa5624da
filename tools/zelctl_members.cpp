#include "tools/zelctl_members.h"

#include <array>
#include <charconv>
#include <limits>
#include <tuple>
#include <type_traits>
#include <utility>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"

namespace zel::zelctl {

namespace {

// ---- From a member function's parameter list to argument types and a call ----

template <typename T>
struct InArg;
template <>
struct InArg<std::int32_t> {
  static constexpr ArgType kType = ArgType::kLong;
};
template <>
struct InArg<VARIANT_BOOL> {
  static constexpr ArgType kType = ArgType::kBool;
};
template <>
struct InArg<double> {
  static constexpr ArgType kType = ArgType::kDouble;
};
template <>
struct InArg<BSTR> {
  static constexpr ArgType kType = ArgType::kText;
};

// Holds one in-argument for the length of a call. A text becomes a new automation string
// that is freed afterwards.
template <typename T>
class Held {
 public:
  explicit Held(const ArgValue& value) : value_(std::get<T>(value)) {}
  bool ok() const { return true; }
  T get() const { return value_; }

 private:
  T value_;
};
template <>
class Held<BSTR> {
 public:
  explicit Held(const ArgValue& value) {
    ok_ = NarrowToBstr(std::get<std::string>(value), &text_) == S_OK;
  }
  ~Held() { SysFreeString(text_); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  bool ok() const { return ok_; }
  BSTR get() const { return text_; }

 private:
  BSTR text_ = nullptr;
  bool ok_ = false;
};

// Where an out value lands, and what it becomes for printing.
template <typename T>
struct Out;
template <>
struct Out<std::int32_t> {
  std::int32_t value = 0;
  OutValue Take() { return value; }
};
template <>
struct Out<EMotorStatus> {
  EMotorStatus value = eMotorStopped;
  OutValue Take() { return static_cast<std::int32_t>(value); }
};
template <>
struct Out<VARIANT_BOOL> {
  VARIANT_BOOL value = 0;
  OutValue Take() { return value; }
};
template <>
struct Out<double> {
  double value = 0;
  OutValue Take() { return value; }
};
template <>
struct Out<BSTR> {
  BSTR value = nullptr;
  ~Out() { SysFreeString(value); }
  OutValue Take() { return BstrToNarrow(value); }
};

// A member's parameters: the in-arguments, then (except for a property put) one out pointer.
// A BSTR is a pointer too, but only ever an in-argument.
template <typename... P>
struct Parameters {
  static constexpr std::size_t kCount = sizeof...(P);
  using Last = std::tuple_element_t<kCount - 1, std::tuple<P...>>;
  static constexpr bool kHasOut = std::is_pointer_v<Last> && !std::is_same_v<Last, BSTR>;
  static constexpr std::size_t kIn = kHasOut ? kCount - 1 : kCount;
  template <std::size_t I>
  using In = std::tuple_element_t<I, std::tuple<P...>>;

  template <std::size_t... I>
  static constexpr std::array<ArgType, kIn> Types(std::index_sequence<I...>) {
    return {InArg<In<I>>::kType...};
  }
  static constexpr std::array<ArgType, kIn> kTypes = Types(std::make_index_sequence<kIn>{});

  template <typename Control, typename Fn, std::size_t... I>
  static CallResult Call(Control& control, Fn fn, const std::vector<ArgValue>& args,
                         std::index_sequence<I...>) {
    const std::tuple<Held<In<I>>...> held{args[I]...};
    if (!(std::get<I>(held).ok() && ...)) return {E_OUTOFMEMORY, {}};
    if constexpr (kHasOut) {
      Out<std::remove_pointer_t<Last>> out;
      const HRESULT hr = (control.*fn)(std::get<I>(held).get()..., &out.value);
      if (hr < 0) return {hr, {}};
      return {hr, out.Take()};
    } else {
      return {(control.*fn)(std::get<I>(held).get()...), {}};
    }
  }
};

template <auto Fn>
struct Bind;
template <typename C, typename... P, HRESULT (C::*Fn)(P...) noexcept>
struct Bind<Fn> {
  using Params = Parameters<P...>;
  static constexpr std::span<const ArgType> kIn{Params::kTypes};
  template <typename Control>
  static CallResult Call(Control& control, const std::vector<ArgValue>& args) {
    return Params::Call(control, Fn, args, std::make_index_sequence<Params::kIn>{});
  }
};

template <typename Control, auto Fn>
constexpr Member<Control> Make(std::string_view name, Access access, bool lastOptional = false) {
  return {name, access, Bind<Fn>::kIn, lastOptional, &Bind<Fn>::template Call<Control>};
}

// ---- The interfaces ----

// Members of the same name are the same code in all three classes.
#define ZEL_COMMON_MOTION(C)                                              \
  Make<C, &C::MoveHome>("MoveHome", Access::kMethod, true),               \
      Make<C, &C::MoveMotor>("MoveMotor", Access::kMethod, true),         \
      Make<C, &C::MoveToPos>("MoveToPos", Access::kMethod, true),         \
      Make<C, &C::GetMotorStatus>("GetMotorStatus", Access::kMethod),     \
      Make<C, &C::GetMotorPosition>("GetMotorPosition", Access::kMethod), \
      Make<C, &C::Stop>("Stop", Access::kMethod),                         \
      Make<C, &C::SetMotorFreq>("SetMotorFreq", Access::kMethod),         \
      Make<C, &C::GetMotorFreq>("GetMotorFreq", Access::kMethod),         \
      Make<C, &C::IsDevicePresent>("IsDevicePresent", Access::kMethod),   \
      Make<C, &C::get_LastError>("LastError", Access::kGet),              \
      Make<C, &C::SetSerial>("SetSerial", Access::kMethod),               \
      Make<C, &C::GetSerial>("GetSerial", Access::kMethod)
#define ZEL_COMMON_TAIL(C)                                           \
  Make<C, &C::SetMotorMode>("SetMotorMode", Access::kMethod),        \
      Make<C, &C::GetMotorMode>("GetMotorMode", Access::kMethod),    \
      Make<C, &C::get_LastErrorText>("LastErrorText", Access::kGet), \
      Make<C, &C::get_FirmwareVersion>("FirmwareVersion", Access::kGet)

using O = OrvaneControl;
constexpr Member<O> kOrvane[] = {
    Make<O, &O::get_Temperature>("Temperature", Access::kGet),
    Make<O, &O::put_Temperature>("Temperature", Access::kPut),
    Make<O, &O::get_ADC>("ADC", Access::kGet),
    ZEL_COMMON_MOTION(O),
    Make<O, &O::get_UndervoltageDetection>("UndervoltageDetection", Access::kGet),
    Make<O, &O::put_UndervoltageDetection>("UndervoltageDetection", Access::kPut),
    ZEL_COMMON_TAIL(O),
};

using K = KestrinControl;
constexpr Member<K> kKestrin[] = {ZEL_COMMON_MOTION(K), ZEL_COMMON_TAIL(K)};

using P = PolyaxControl;
constexpr Member<P> kPolyax[] = {
    ZEL_COMMON_MOTION(P),
    Make<P, &P::SetShutterState>("SetShutterState", Access::kMethod),
    Make<P, &P::GetShutterState>("GetShutterState", Access::kMethod),
    ZEL_COMMON_TAIL(P),
};

#undef ZEL_COMMON_MOTION
#undef ZEL_COMMON_TAIL

// ---- Words to values ----

const char* TypeName(ArgType type) {
  switch (type) {
    case ArgType::kLong:
      return "a 32-bit integer";
    case ArgType::kBool:
      return "a 16-bit integer (0 is false)";
    case ArgType::kDouble:
      return "a number";
    case ArgType::kText:
      return "a text";
  }
  return "";
}

// Optional sign, then decimal digits or 0x and hexadecimal digits, within [low, high].
std::optional<std::int64_t> ParseInteger(std::string_view text, std::int64_t low,
                                         std::int64_t high) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  // Both bounds lie well inside 64 bits, so a magnitude beyond 2^32 is out of range anyway.
  if (magnitude > (std::uint64_t{1} << 32)) return std::nullopt;
  const std::int64_t value =
      negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::optional<double> ParseDouble(std::string_view text) {
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string Plural(std::size_t n) {
  return n == 1 ? "" : "s";
}

}  // namespace

std::span<const Member<OrvaneControl>> OrvaneMembers() {
  return kOrvane;
}
std::span<const Member<KestrinControl>> KestrinMembers() {
  return kKestrin;
}
std::span<const Member<PolyaxControl>> PolyaxMembers() {
  return kPolyax;
}

bool ConvertArgument(const Word& word, ArgType type, ArgValue& value, std::string& error) {
  if (type == ArgType::kText) {
    value = word.text;
    return true;
  }
  if (!word.quoted) {
    if (type == ArgType::kDouble) {
      if (auto number = ParseDouble(word.text)) {
        value = *number;
        return true;
      }
    } else if (type == ArgType::kBool) {
      constexpr auto kMin = std::numeric_limits<VARIANT_BOOL>::min();
      constexpr auto kMax = std::numeric_limits<VARIANT_BOOL>::max();
      if (auto number = ParseInteger(word.text, kMin, kMax)) {
        value = static_cast<VARIANT_BOOL>(*number);
        return true;
      }
    } else {
      constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
      constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
      if (auto number = ParseInteger(word.text, kMin, kMax)) {
        value = static_cast<std::int32_t>(*number);
        return true;
      }
    }
  }
  error = std::string("expected ") + TypeName(type) + ", not " +
          (word.quoted ? "\"" + word.text + "\"" : word.text);
  return false;
}

template <typename Control>
const Member<Control>* Resolve(std::span<const Member<Control>> members, const CallLine& line,
                               std::vector<ArgValue>& arguments, std::string& error) {
  const Access wanted = line.kind == CallLine::Kind::kPut ? Access::kPut : Access::kGet;
  const Member<Control>* found = nullptr;
  bool named = false;
  for (const auto& member : members) {
    if (member.name != line.name) continue;
    named = true;
    const bool put = member.access == Access::kPut;
    if (put == (wanted == Access::kPut)) found = &member;
  }
  if (found == nullptr) {
    error = !named ? std::string(Control::kClass.name) + " has no member " + line.name
            : wanted == Access::kPut ? line.name + " cannot be set"
                                     : line.name + " can only be set: " + line.name + " = value";
    return nullptr;
  }
  const std::size_t most = found->in.size();
  const std::size_t least = found->lastOptional ? most - 1 : most;
  const std::size_t given = line.arguments.size();
  if (given < least || given > most) {
    const std::string count = least == most ? std::to_string(most)
                                            : std::to_string(least) + " or " + std::to_string(most);
    error = line.name + " takes " + count + " argument" + Plural(most) + ", not " +
            std::to_string(given);
    return nullptr;
  }
  arguments.clear();
  for (std::size_t k = 0; k < given; ++k) {
    ArgValue value;
    std::string why;
    if (!ConvertArgument(line.arguments[k], found->in[k], value, why)) {
      error = line.name + " argument " + std::to_string(k + 1) + ": " + why;
      return nullptr;
    }
    arguments.push_back(std::move(value));
  }
  if (given < most) arguments.emplace_back(VARIANT_BOOL{0});  // bAsynchron left out
  return found;
}

template const Member<OrvaneControl>* Resolve(std::span<const Member<OrvaneControl>>,
                                              const CallLine&, std::vector<ArgValue>&,
                                              std::string&);
template const Member<KestrinControl>* Resolve(std::span<const Member<KestrinControl>>,
                                               const CallLine&, std::vector<ArgValue>&,
                                               std::string&);
template const Member<PolyaxControl>* Resolve(std::span<const Member<PolyaxControl>>,
                                              const CallLine&, std::vector<ArgValue>&,
                                              std::string&);

void CheckCallLine(std::string_view text) {
  const CallLine line = ParseCallLine(text);
  if (line.kind != CallLine::Kind::kCall && line.kind != CallLine::Kind::kPut) return;
  std::vector<ArgValue> arguments;
  std::string error;
  Resolve(OrvaneMembers(), line, arguments, error);
  Resolve(KestrinMembers(), line, arguments, error);
  Resolve(PolyaxMembers(), line, arguments, error);
}

}  // namespace zel::zelctl
