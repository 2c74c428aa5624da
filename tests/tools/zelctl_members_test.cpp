#include "tools/zelctl_members.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "tools/zelctl_options.h"

namespace zel::zelctl {
namespace {

// A member as the type library lists it: name, access and in-argument types; '?' marks the
// optional last argument. l = long, b = VARIANT_BOOL, d = double, s = BSTR.
template <typename Control>
std::vector<std::string> Shape(std::span<const Member<Control>> members) {
  std::vector<std::string> shape;
  for (const auto& m : members) {
    std::string text(m.name);
    text += m.access == Access::kGet ? " get " : m.access == Access::kPut ? " put " : " ";
    for (ArgType t : m.in) text += "lbds"[static_cast<int>(t)];
    if (m.lastOptional) text += '?';
    shape.push_back(text);
  }
  return shape;
}

const std::vector<std::string> kMotion = {
    "MoveHome lb?",       "MoveMotor llb?", "MoveToPos llb?",  "GetMotorStatus l",
    "GetMotorPosition l", "Stop l",         "SetMotorFreq ll", "GetMotorFreq l",
    "IsDevicePresent ",   "LastError get ", "SetSerial s",     "GetSerial "};
const std::vector<std::string> kTail = {"SetMotorMode ll", "GetMotorMode l", "LastErrorText get ",
                                        "FirmwareVersion get "};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(ZelctlMembersTest, TablesFollowTheInterfacesInOrder) {
  EXPECT_EQ(Shape(OrvaneMembers()),
            Join({{"Temperature get ", "Temperature put d", "ADC get l"},
                  kMotion,
                  {"UndervoltageDetection get ", "UndervoltageDetection put b"},
                  kTail}));
  EXPECT_EQ(Shape(KestrinMembers()), Join({kMotion, kTail}));
  EXPECT_EQ(Shape(PolyaxMembers()),
            Join({kMotion, {"SetShutterState lb", "GetShutterState l"}, kTail}));
}

ArgValue Convert(const char* text, ArgType type, bool quoted = false) {
  ArgValue value;
  std::string error;
  EXPECT_TRUE(ConvertArgument({text, quoted}, type, value, error)) << text << ": " << error;
  return value;
}

std::string Refusal(const char* text, ArgType type, bool quoted = false) {
  ArgValue value;
  std::string error;
  EXPECT_FALSE(ConvertArgument({text, quoted}, type, value, error)) << text;
  return error;
}

TEST(ZelctlMembersTest, WordsBecomeArgumentsOfTheirType) {
  EXPECT_EQ(std::get<std::int32_t>(Convert("400", ArgType::kLong)), 400);
  EXPECT_EQ(std::get<std::int32_t>(Convert("-2147483648", ArgType::kLong)), INT32_MIN);
  EXPECT_EQ(std::get<std::int32_t>(Convert("+2147483647", ArgType::kLong)), INT32_MAX);
  EXPECT_EQ(std::get<std::int32_t>(Convert("0x7FFFFFFF", ArgType::kLong)), INT32_MAX);
  EXPECT_EQ(std::get<std::int32_t>(Convert("-0x80000000", ArgType::kLong)), INT32_MIN);
  EXPECT_EQ(std::get<VARIANT_BOOL>(Convert("-1", ArgType::kBool)), -1);
  EXPECT_EQ(std::get<VARIANT_BOOL>(Convert("32767", ArgType::kBool)), 32767);
  EXPECT_EQ(std::get<double>(Convert("20.5", ArgType::kDouble)), 20.5);
  EXPECT_EQ(std::get<double>(Convert("-1e3", ArgType::kDouble)), -1000.0);
  EXPECT_EQ(std::get<double>(Convert("+7", ArgType::kDouble)), 7.0);
  EXPECT_TRUE(std::isinf(std::get<double>(Convert("inf", ArgType::kDouble))));
  EXPECT_EQ(std::get<std::string>(Convert("KS-0002", ArgType::kText, true)), "KS-0002");
  EXPECT_EQ(std::get<std::string>(Convert("", ArgType::kText, true)), "");
  EXPECT_EQ(std::get<std::string>(Convert("bare", ArgType::kText)), "bare");
}

TEST(ZelctlMembersTest, WordsThatDoNotFitAreRefused) {
  EXPECT_EQ(Refusal("2147483648", ArgType::kLong), "expected a 32-bit integer, not 2147483648");
  EXPECT_EQ(Refusal("-2147483649", ArgType::kLong), "expected a 32-bit integer, not -2147483649");
  EXPECT_EQ(Refusal("0x100000000", ArgType::kLong), "expected a 32-bit integer, not 0x100000000");
  EXPECT_EQ(Refusal("99999999999999999999999", ArgType::kLong),
            "expected a 32-bit integer, not 99999999999999999999999");
  EXPECT_EQ(Refusal("1.5", ArgType::kLong), "expected a 32-bit integer, not 1.5");
  EXPECT_EQ(Refusal("4", ArgType::kLong, true), "expected a 32-bit integer, not \"4\"");
  for (const char* bad : {"", "-", "+", "0x", "--1", "+-1", "1x", "x1", " 1"})
    Refusal(bad, ArgType::kLong);
  EXPECT_EQ(Refusal("32768", ArgType::kBool), "expected a 16-bit integer (0 is false), not 32768");
  EXPECT_EQ(Refusal("true", ArgType::kBool), "expected a 16-bit integer (0 is false), not true");
  EXPECT_EQ(Refusal("20,5", ArgType::kDouble), "expected a number, not 20,5");
  EXPECT_EQ(Refusal("1e999", ArgType::kDouble), "expected a number, not 1e999");
  EXPECT_EQ(Refusal("+-1", ArgType::kDouble), "expected a number, not +-1");
  EXPECT_EQ(Refusal("0x10", ArgType::kDouble), "expected a number, not 0x10");
}

std::string ResolveError(const char* text) {
  std::vector<ArgValue> arguments;
  std::string error;
  EXPECT_EQ(Resolve(KestrinMembers(), ParseCallLine(text), arguments, error), nullptr) << text;
  return error;
}

TEST(ZelctlMembersTest, LinesResolveToMembersWithTheirArguments) {
  std::vector<ArgValue> arguments;
  std::string error;
  const auto* member =
      Resolve(KestrinMembers(), ParseCallLine("MoveMotor 1 400"), arguments, error);
  ASSERT_NE(member, nullptr) << error;
  EXPECT_EQ(member->name, "MoveMotor");
  // bAsynchron left out is 0.
  EXPECT_EQ(arguments,
            (std::vector<ArgValue>{std::int32_t{1}, std::int32_t{400}, VARIANT_BOOL{0}}));
  member = Resolve(KestrinMembers(), ParseCallLine("MoveHome 2 -1"), arguments, error);
  ASSERT_NE(member, nullptr) << error;
  EXPECT_EQ(arguments, (std::vector<ArgValue>{std::int32_t{2}, VARIANT_BOOL{-1}}));

  const auto* put = Resolve(OrvaneMembers(), ParseCallLine("Temperature = 20.5"), arguments, error);
  ASSERT_NE(put, nullptr) << error;
  EXPECT_EQ(put->access, Access::kPut);
  EXPECT_EQ(arguments, (std::vector<ArgValue>{20.5}));
  const auto* get = Resolve(OrvaneMembers(), ParseCallLine("Temperature"), arguments, error);
  ASSERT_NE(get, nullptr) << error;
  EXPECT_EQ(get->access, Access::kGet);
  EXPECT_TRUE(arguments.empty());
}

TEST(ZelctlMembersTest, UnfitLinesAreRefusedWithAReason) {
  EXPECT_EQ(ResolveError("Temperature"), "KestrinControl has no member Temperature");
  EXPECT_EQ(ResolveError("movemotor 1 2"), "KestrinControl has no member movemotor");
  EXPECT_EQ(ResolveError("LastError = 3"), "LastError cannot be set");
  EXPECT_EQ(ResolveError("MoveMotor 1"), "MoveMotor takes 2 or 3 arguments, not 1");
  EXPECT_EQ(ResolveError("MoveMotor 1 2 3 4"), "MoveMotor takes 2 or 3 arguments, not 4");
  EXPECT_EQ(ResolveError("GetMotorStatus"), "GetMotorStatus takes 1 argument, not 0");
  EXPECT_EQ(ResolveError("IsDevicePresent 1"), "IsDevicePresent takes 0 arguments, not 1");
  EXPECT_EQ(ResolveError("MoveMotor 1 x"),
            "MoveMotor argument 2: expected a 32-bit integer, not x");
  EXPECT_EQ(ResolveError("MoveMotor 1 2 70000"),
            "MoveMotor argument 3: expected a 16-bit integer (0 is false), not 70000");
}

// What the sessions in the process tests do not reach: -1, doubles that need all 17 digits,
// texts with quotes, and failing HRESULTs that carry a value.
TEST(ZelctlMembersTest, ResultsAreFormattedAsTheShellPrintsThem) {
  EXPECT_EQ(FormatResultLine("X", {S_OK, VARIANT_BOOL{-1}}), "X -> -1");
  EXPECT_EQ(FormatResultLine("T", {S_OK, -20.900000000000002}), "T -> -20.900000000000002");
  EXPECT_EQ(FormatResultLine("T", {S_OK, 0.1}), "T -> 0.1");
  EXPECT_EQ(FormatResultLine("S", {S_OK, std::string("a\"b\\")}), R"(S -> "a\"b\\")");
  EXPECT_EQ(FormatResultLine("LastErrorText", {E_OUTOFMEMORY, std::string("x")}),
            "LastErrorText -> HRESULT 0x8007000E");
  EXPECT_EQ(FormatResultLine("X", {E_POINTER, {}}), "X -> HRESULT 0x80004003");
}

std::optional<Options> Parse(std::vector<std::string> args, std::string& error) {
  return ParseOptions(args, error);
}

TEST(ZelctlOptionsTest, FullCommandLine) {
  std::string error;
  const auto options = Parse({"--bench", "b.json", "--live", "--trace=t.txt", "--firmware-dir",
                              "fw", "polyax", "-c", "MoveMotor 1 2; Stop 1"},
                             error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->bench, "b.json");
  EXPECT_TRUE(options->live);
  EXPECT_EQ(options->trace, "t.txt");
  EXPECT_EQ(options->firmwareDirectory, "fw");
  EXPECT_EQ(options->kind, ControlKind::kPolyax);
  EXPECT_EQ(options->calls, "MoveMotor 1 2; Stop 1");

  const auto plain = Parse({"kestrin"}, error);
  ASSERT_TRUE(plain) << error;
  EXPECT_EQ(plain->kind, ControlKind::kKestrin);
  EXPECT_FALSE(plain->bench || plain->trace || plain->calls || plain->live);
  EXPECT_EQ(plain->firmwareDirectory, "");
  EXPECT_TRUE(Parse({"--help"}, error)->help);
  const auto list = Parse({"--list", "--usb"}, error);
  ASSERT_TRUE(list) << error;
  EXPECT_TRUE(list->list && list->usb);
}

TEST(ZelctlOptionsTest, BadCommandLinesAreRefused) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{}, "no class given"},
      {{"--bench", "b.json"}, "no class given"},
      {{"Kestrin"}, "unknown class Kestrin (orvane, kestrin or polyax)"},
      {{"kestrin", "orvane"}, "one class only, not also orvane"},
      {{"kestrin", "--bench"}, "--bench needs a value"},
      {{"kestrin", "-c"}, "-c needs a value"},
      {{"kestrin", "-x"}, "unknown option -x"},
      {{"kestrin", "--live=1"}, "unknown option --live=1"},
      {{"kestrin", "--trace", "a", "--trace", "b"}, "--trace is given twice"},
      {{"kestrin", "-c", "A", "-c", "B"}, "-c is given twice"},
      {{"--list"}, "--list needs --usb"},
      {{"--usb", "--list", "kestrin"}, "--list takes no class, calls or trace"},
      {{"--usb", "--list", "-c", "A"}, "--list takes no class, calls or trace"},
      {{"--usb", "--list", "--list"}, "--list is given twice"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace zel::zelctl
