// The interface description against the controls: every member that the type library
// publishes, in its function-table order, must be a member of the control with the same
// parameter types, and the description must carry the ids, names and attributes clients see.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"

namespace zel {
namespace {

struct Parameter {
  std::string attributes;  // "in", "out, retval", "in, optional, defaultvalue(0)"
  std::string type;        // "long", "VARIANT_BOOL*", ...
  std::string name;        // "" for the unnamed new value of a property put
};

struct DescribedMember {
  int dispid = 0;
  std::string kind;  // "propget", "propput" or "method"
  std::string name;
  std::string help;
  std::vector<Parameter> parameters;
  std::string Function() const {
    return kind == "propget" ? "get_" + name : kind == "propput" ? "put_" + name : name;
  }
};

struct DescribedInterface {
  std::string attributes;
  std::vector<DescribedMember> members;
};

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Description() {
  std::ifstream file(std::string(ZEL_MODULE_SOURCE_DIR) + "/ZELUSB.idl");
  std::stringstream text;
  text << file.rdbuf();
  // Comments out.
  return std::regex_replace(text.str(), std::regex("//[^\n]*"), "");
}

DescribedInterface Describe(const std::string& idl, const std::string& name) {
  DescribedInterface result;
  const std::regex head("\\[([^\\]]*)\\]\\s*interface\\s+" + name + "\\s*:\\s*IDispatch\\s*\\{");
  std::smatch match;
  if (!std::regex_search(idl, match, head)) return result;
  result.attributes = match[1];
  const auto bodyStart = static_cast<std::size_t>(match.position(0) + match.length(0));
  const std::string body = idl.substr(bodyStart, idl.find("};", bodyStart) - bodyStart);
  const std::regex member(
      "\\[([^\\]]*)\\]\\s*HRESULT\\s+(\\w+)\\s*\\(((?:[^()]|\\([^()]*\\))*)\\)\\s*;");
  for (auto it = std::sregex_iterator(body.begin(), body.end(), member);
       it != std::sregex_iterator(); ++it) {
    DescribedMember m;
    m.name = (*it)[2];
    const std::string attributes = (*it)[1];
    std::smatch part;
    if (std::regex_search(attributes, part, std::regex("id\\((\\d+)\\)")))
      m.dispid = std::stoi(part[1]);
    if (std::regex_search(attributes, part, std::regex("helpstring\\(\"([^\"]*)\"\\)")))
      m.help = part[1];
    m.kind = attributes.find("propget") != std::string::npos   ? "propget"
             : attributes.find("propput") != std::string::npos ? "propput"
                                                               : "method";
    const std::string parameters = (*it)[3];
    const std::regex parameter("\\[([^\\]]*)\\]\\s*([A-Za-z_]+\\s*\\*?)\\s*(\\w*)");
    for (auto p = std::sregex_iterator(parameters.begin(), parameters.end(), parameter);
         p != std::sregex_iterator(); ++p) {
      std::string type = (*p)[2];
      type.erase(std::remove(type.begin(), type.end(), ' '), type.end());
      m.parameters.push_back({Trim((*p)[1]), type, (*p)[3]});
    }
    result.members.push_back(m);
  }
  return result;
}

// The automation type a parameter of the portable members stands for.
template <typename T>
std::string AutomationType() {
  if constexpr (std::is_pointer_v<T>) {
    if constexpr (std::is_same_v<T, BSTR>) return "BSTR";
    return AutomationType<std::remove_pointer_t<T>>() + "*";
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return "long";
  } else if constexpr (std::is_same_v<T, double>) {
    return "double";
  } else if constexpr (std::is_same_v<T, VARIANT_BOOL>) {
    return "VARIANT_BOOL";
  } else if constexpr (std::is_same_v<T, EMotorStatus>) {
    return "EMotorStatus";
  } else {
    return "?";
  }
}

template <typename C, typename... A>
std::vector<std::string> Types(HRESULT (C::*)(A...) noexcept) {
  return {AutomationType<A>()...};
}

struct ControlMember {
  int dispid;
  std::string function;
  std::vector<std::string> types;
};

// The published function-table order and ids, each bound to the control member that serves it.
// Only the member's type is looked at (a null pointer of it), so nothing is called or linked.
#define MEMBER(id, cls, fn)              \
  ControlMember {                        \
    id, #fn, Types(decltype(&cls::fn){}) \
  }
#define SHARED_MOTOR_MEMBERS(cls, first)                                              \
  MEMBER(first, cls, MoveHome), MEMBER(first + 1, cls, MoveMotor),                    \
      MEMBER(first + 2, cls, MoveToPos), MEMBER(first + 3, cls, GetMotorStatus),      \
      MEMBER(first + 4, cls, GetMotorPosition), MEMBER(first + 5, cls, Stop),         \
      MEMBER(first + 6, cls, SetMotorFreq), MEMBER(first + 7, cls, GetMotorFreq),     \
      MEMBER(first + 8, cls, IsDevicePresent), MEMBER(first + 9, cls, get_LastError), \
      MEMBER(first + 10, cls, SetSerial), MEMBER(first + 11, cls, GetSerial)

std::vector<ControlMember> OrvaneMembers() {
  return {MEMBER(1, OrvaneControl, get_Temperature),
          MEMBER(1, OrvaneControl, put_Temperature),
          MEMBER(2, OrvaneControl, get_ADC),
          SHARED_MOTOR_MEMBERS(OrvaneControl, 3),
          MEMBER(15, OrvaneControl, get_UndervoltageDetection),
          MEMBER(15, OrvaneControl, put_UndervoltageDetection),
          MEMBER(16, OrvaneControl, SetMotorMode),
          MEMBER(17, OrvaneControl, GetMotorMode),
          MEMBER(18, OrvaneControl, get_LastErrorText),
          MEMBER(19, OrvaneControl, get_FirmwareVersion)};
}

std::vector<ControlMember> KestrinMembers() {
  return {SHARED_MOTOR_MEMBERS(KestrinControl, 1), MEMBER(13, KestrinControl, SetMotorMode),
          MEMBER(14, KestrinControl, GetMotorMode), MEMBER(15, KestrinControl, get_LastErrorText),
          MEMBER(16, KestrinControl, get_FirmwareVersion)};
}

std::vector<ControlMember> PolyaxMembers() {
  return {
      SHARED_MOTOR_MEMBERS(PolyaxControl, 1),        MEMBER(13, PolyaxControl, SetShutterState),
      MEMBER(14, PolyaxControl, GetShutterState),    MEMBER(15, PolyaxControl, SetMotorMode),
      MEMBER(16, PolyaxControl, GetMotorMode),       MEMBER(17, PolyaxControl, get_LastErrorText),
      MEMBER(18, PolyaxControl, get_FirmwareVersion)};
}

// The described type as the portable member sees it: the error enumeration is its 32-bit
// integer (the link's codes, which are not the enumeration's from 4 on).
std::string PortableType(std::string type) {
  if (type.rfind("EUSBError", 0) == 0) type.replace(0, 9, "long");
  return type;
}

void ExpectMatches(const std::string& interfaceName, const std::vector<ControlMember>& expected) {
  SCOPED_TRACE(interfaceName);
  const DescribedInterface described = Describe(Description(), interfaceName);
  EXPECT_NE(described.attributes.find("dual"), std::string::npos);
  EXPECT_NE(described.attributes.find("helpstring(\"" + interfaceName + " Interface\")"),
            std::string::npos);
  ASSERT_EQ(described.members.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const DescribedMember& m = described.members[i];
    SCOPED_TRACE(m.Function());
    EXPECT_EQ(m.Function(), expected[i].function);
    EXPECT_EQ(m.dispid, expected[i].dispid);
    EXPECT_EQ(m.help, (m.kind == "method" ? "method " : "property ") + m.name);
    std::vector<std::string> types;
    for (const Parameter& p : m.parameters) types.push_back(PortableType(p.type));
    EXPECT_EQ(types, expected[i].types);
    for (std::size_t k = 0; k < m.parameters.size(); ++k) {
      const Parameter& p = m.parameters[k];
      const bool last = k + 1 == m.parameters.size();
      if (last && p.type.back() == '*') {
        EXPECT_EQ(p.attributes, "out, retval") << p.name;
      } else if (p.name == "bAsynchron") {
        EXPECT_EQ(p.attributes, "in, optional, defaultvalue(0)");
        EXPECT_EQ(k + 2, m.parameters.size()) << "bAsynchron comes just before the result";
      } else {
        EXPECT_EQ(p.attributes, "in") << p.name;
      }
      // Only a property's new value goes unnamed.
      EXPECT_EQ(p.name.empty(), m.kind == "propput") << k;
    }
  }
}

TEST(InterfaceDescriptionTest, OrvaneInterfaceMatchesTheControl) {
  ExpectMatches("IOrvaneControl", OrvaneMembers());
}

TEST(InterfaceDescriptionTest, KestrinInterfaceMatchesTheControl) {
  ExpectMatches("IKestrinControl", KestrinMembers());
}

TEST(InterfaceDescriptionTest, PolyaxInterfaceMatchesTheControl) {
  ExpectMatches("IPolyaxControl", PolyaxMembers());
}

TEST(InterfaceDescriptionTest, ArgumentNamesAreThePublishedOnes) {
  const DescribedInterface orvane = Describe(Description(), "IOrvaneControl");
  std::vector<std::string> names;
  for (const DescribedMember& m : orvane.members)
    for (const Parameter& p : m.parameters) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"pVal",
                                             "",
                                             "lChannelNumber",
                                             "pVal",
                                             "lMotorID",
                                             "bAsynchron",
                                             "bResult",
                                             "lMotorID",
                                             "lSteps",
                                             "bAsynchron",
                                             "bResult",
                                             "lMotorID",
                                             "lPosition",
                                             "bAsynchron",
                                             "bResult",
                                             "lMotorID",
                                             "eStatus",
                                             "lMotorID",
                                             "lPosition",
                                             "lMotorID",
                                             "bResult",
                                             "lMotorID",
                                             "lFreq",
                                             "bResult",
                                             "lMotorID",
                                             "lFrequence",
                                             "bResult",
                                             "pVal",
                                             "szSerial",
                                             "bResult",
                                             "szSerial",
                                             "pVal",
                                             "",
                                             "lMotorID",
                                             "lMotorMode",
                                             "bResult",
                                             "lMotorID",
                                             "plMotorMode",
                                             "pVal",
                                             "pVal"}));
  const DescribedInterface polyax = Describe(Description(), "IPolyaxControl");
  ASSERT_GE(polyax.members.size(), 14u);
  EXPECT_EQ(polyax.members[12].parameters.at(0).name, "lShutterID");
  EXPECT_EQ(polyax.members[12].parameters.at(1).name, "bOpen");
  EXPECT_EQ(polyax.members[13].parameters.at(1).name, "bOpen");
}

TEST(InterfaceDescriptionTest, LibraryAndClassesCarryTheirIdentities) {
  const std::string idl = Description();
  const std::regex library(
      "uuid\\(871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C\\),\\s*version\\(1\\.0\\),\\s*"
      "helpstring\\(\"ZELUSB 1\\.0 Type Library\"\\)\\s*\\]\\s*library ZELUSB");
  EXPECT_TRUE(std::regex_search(idl, library));
  EXPECT_NE(idl.find("importlib(\"stdole2.tlb\")"), std::string::npos);
  // The classes in entry order, each with its default interface; the interfaces and
  // enumerations come into the library through them.
  const std::regex coclass(
      "uuid\\(([0-9A-F-]+)\\),\\s*helpstring\\(\"(\\w+) Class\"\\)\\s*\\]\\s*"
      "coclass (\\w+)\\s*\\{\\s*\\[default\\] interface (\\w+);");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(idl.begin(), idl.end(), coclass);
       it != std::sregex_iterator(); ++it)
    found.push_back((*it)[3].str() + " " + (*it)[1].str() + " " + (*it)[2].str() + " " +
                    (*it)[4].str());
  EXPECT_EQ(
      found,
      (std::vector<std::string>{
          "COrvaneControl 5D605A2B-ACDE-49CD-9642-7B268923ACD9 OrvaneControl IOrvaneControl",
          "CKestrinControl 72B4B28B-9DF6-4E69-9E00-F1EE51001ADD KestrinControl IKestrinControl",
          "CPolyaxControl E16C6003-9217-4626-83B0-757C9EA47E53 PolyaxControl IPolyaxControl"}));
}

}  // namespace
}  // namespace zel
