// The members zelctl can call on each control class, with their in-argument types in
// type-library order, and how a call line becomes a call.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "controls/any_control.h"
#include "platform/automation.h"
#include "tools/zelctl_format.h"
#include "tools/zelctl_line.h"

namespace zel {
class OrvaneControl;
class KestrinControl;
class PolyaxControl;
}  // namespace zel

namespace zel::zelctl {

using ::zel::ControlKind;
using ::zel::KindFromName;
using ::zel::KindName;

enum class ArgType { kLong, kBool, kDouble, kText };
enum class Access { kMethod, kGet, kPut };

// An in-argument after conversion. Texts stay narrow until the call.
using ArgValue = std::variant<std::int32_t, VARIANT_BOOL, double, std::string>;

template <typename Control>
struct Member {
  std::string_view name;
  Access access;
  std::span<const ArgType> in;  // in-arguments, in type-library order
  bool lastOptional;            // the last one (bAsynchron) may be left out; it is then 0
  CallResult (*call)(Control&, const std::vector<ArgValue>&);
};

// Each class's members, in the order of its interface.
std::span<const Member<OrvaneControl>> OrvaneMembers();
std::span<const Member<KestrinControl>> KestrinMembers();
std::span<const Member<PolyaxControl>> PolyaxMembers();

// Reads one word as an argument of `type`: integers in decimal or 0x-hexadecimal with an
// optional sign (VARIANT_BOOL within 16 bits), doubles as the standard library reads them
// ("20.5", "-1e3", "inf"), texts quoted or bare. Quoted words are texts only. False with
// `error` set when the word does not fit.
bool ConvertArgument(const Word& word, ArgType type, ArgValue& value, std::string& error);

// A line resolved against a class's members: the member and its converted arguments, with
// an omitted optional argument filled in. nullptr with `error` set when the name is unknown
// (for that kind of access) or the arguments do not fit.
template <typename Control>
const Member<Control>* Resolve(std::span<const Member<Control>> members, const CallLine& line,
                               std::vector<ArgValue>& arguments, std::string& error);

// Parses `line` and resolves it against all three classes' members without calling anything:
// the whole text path of a call, for the fuzzer. Never throws short of memory.
void CheckCallLine(std::string_view line);

}  // namespace zel::zelctl
