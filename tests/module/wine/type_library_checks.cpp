// Checks the type library that ZELUSB.dll carries, the way clients meet it: loaded from the
// DLL (its TYPELIB resource 1) by the platform and read through ITypeLib and ITypeInfo. Every
// identity, member, parameter and enumerator is compared with the published interface written
// out below, so nothing here comes from the interface description or the headers made from it.
// Runs under wine:
//   type_library_checks.exe PATH\ZELUSB.dll
// Prints one line per failed check and "N passed, N failed"; exits 1 on any failure.
// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

#include "module/embedding/embedded_control.h"
#include "tests/module/wine/check.h"

namespace {

using wine_check::failed;
using wine_check::passed;

// Narrow text of a wide string (all the names here are ASCII).
std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; text != nullptr && *text != 0; ++text) narrow += static_cast<char>(*text);
  return narrow;
}

// The text of a string the library handed out, which is then freed.
std::string Take(BSTR text) {
  std::string copy = Narrow(text);
  SysFreeString(text);
  return copy;
}

std::string Text(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return Narrow(text);
}

// A type's attributes, released with the holder.
class Attributes {
 public:
  explicit Attributes(ITypeInfo* info) : info_(info) {
    if (FAILED(info->GetTypeAttr(&attributes_))) attributes_ = nullptr;
    CHECK(attributes_ != nullptr);
  }
  Attributes(const Attributes&) = delete;
  Attributes& operator=(const Attributes&) = delete;
  ~Attributes() {
    if (attributes_ != nullptr) info_->ReleaseTypeAttr(attributes_);
  }
  explicit operator bool() const { return attributes_ != nullptr; }
  const TYPEATTR* operator->() const { return attributes_; }

 private:
  ITypeInfo* info_;
  TYPEATTR* attributes_ = nullptr;
};

// Like CHECK, with both sides printed when they differ.
void CheckEqual(const std::string& got, const std::string& expected, const std::string& what,
                int line) {
  wine_check::Check(got == expected, what.c_str(), line);
  if (got != expected)
    std::printf("  got      '%s'\n  expected '%s'\n", got.c_str(), expected.c_str());
}
#define CHECK_EQ(got, expected, what) CheckEqual((got), (expected), (what), __LINE__)

// The published interface.

constexpr const char* kLibId = "{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}";
constexpr const char* kAutomationLibId = "{00020430-0000-0000-C000-000000000046}";  // stdole2
constexpr const char* kDispatchIid = "{00020400-0000-0000-C000-000000000046}";

struct Member {
  int dispid;
  const char* kind;  // "method", "get" or "put"
  const char* name;
  const char* parameters;  // as Parameters() below writes them
};

// Parameters read "[in] long lMotorID"; a property's new value has no name, and bAsynchron is
// optional with the default FALSE.
#define ASYNC "[in, optional, default 0] VARIANT_BOOL bAsynchron, "
#define RESULT "[out, retval] VARIANT_BOOL* bResult"

// The motor members of all three interfaces, ids counted from `first`.
std::vector<Member> MotorMembers(int first) {
  return {
      {first, "method", "MoveHome", "[in] long lMotorID, " ASYNC RESULT},
      {first + 1, "method", "MoveMotor", "[in] long lMotorID, [in] long lSteps, " ASYNC RESULT},
      {first + 2, "method", "MoveToPos", "[in] long lMotorID, [in] long lPosition, " ASYNC RESULT},
      {first + 3, "method", "GetMotorStatus",
       "[in] long lMotorID, [out, retval] EMotorStatus* eStatus"},
      {first + 4, "method", "GetMotorPosition",
       "[in] long lMotorID, [out, retval] long* lPosition"},
      {first + 5, "method", "Stop", "[in] long lMotorID, " RESULT},
      {first + 6, "method", "SetMotorFreq", "[in] long lMotorID, [in] long lFreq, " RESULT},
      {first + 7, "method", "GetMotorFreq", "[in] long lMotorID, [out, retval] long* lFrequence"},
      {first + 8, "method", "IsDevicePresent", RESULT},
      {first + 9, "get", "LastError", "[out, retval] EUSBError* pVal"},
      {first + 10, "method", "SetSerial", "[in] BSTR szSerial, " RESULT},
      {first + 11, "method", "GetSerial", "[out, retval] BSTR* szSerial"},
  };
}

// The members that close every interface, ids counted from `first`.
std::vector<Member> ModeAndTextMembers(int first) {
  return {
      {first, "method", "SetMotorMode", "[in] long lMotorID, [in] long lMotorMode, " RESULT},
      {first + 1, "method", "GetMotorMode", "[in] long lMotorID, [out, retval] long* plMotorMode"},
      {first + 2, "get", "LastErrorText", "[out, retval] BSTR* pVal"},
      {first + 3, "get", "FirmwareVersion", "[out, retval] BSTR* pVal"},
  };
}

std::vector<Member> Join(std::vector<std::vector<Member>> parts) {
  std::vector<Member> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<Member> OrvaneMembers() {
  return Join({{{1, "get", "Temperature", "[out, retval] double* pVal"},
                {1, "put", "Temperature", "[in] double"},
                {2, "get", "ADC", "[in] long lChannelNumber, [out, retval] double* pVal"}},
               MotorMembers(3),
               {{15, "get", "UndervoltageDetection", "[out, retval] VARIANT_BOOL* pVal"},
                {15, "put", "UndervoltageDetection", "[in] VARIANT_BOOL"}},
               ModeAndTextMembers(16)});
}

// The events of all three classes, a plain dispinterface.
constexpr const char* kEventsIid = "{5673B4F4-BB5E-4A75-AD3D-DC2F125C5B54}";
std::vector<Member> EventMembers() {
  return {{1, "method", "MoveComplete",
           "[in] long lMotorID, [in] EMotorStatus eStatus, [in] long lPosition"},
          {2, "method", "HomeComplete",
           "[in] long lMotorID, [in] EMotorStatus eStatus, [in] long lPosition"}};
}

std::vector<Member> KestrinMembers() {
  return Join({MotorMembers(1), ModeAndTextMembers(13)});
}

std::vector<Member> PolyaxMembers() {
  return Join(
      {MotorMembers(1),
       {{13, "method", "SetShutterState", "[in] long lShutterID, [in] VARIANT_BOOL bOpen, " RESULT},
        {14, "method", "GetShutterState",
         "[in] long lShutterID, [out, retval] VARIANT_BOOL* bOpen"}},
       ModeAndTextMembers(15)});
}

constexpr const char* kMotorStatus =
    "eMotorStopped=0 eMotorRunning=1 eMotorEndForward=2 eMotorEndBackward=3 eMotorStatusError=4";
constexpr const char* kUsbError =
    "eErrorNoError=0 eErrorNoDevice=1 eErrorIHexFileFormat=2 eErrorIHexFileCorrupt=3 "
    "eErrorFileNotFound=4 eErrorDataRead=5 eErrorSingleDataRead=6 eErrorDataWrite=7 "
    "eErrorSingleDataWrite=8 eErrorNoDeviceDescriptor=9 eErrorNoDeviceResponse=10 "
    "eErrorNoMotorPresent=11 eErrorNoMotorCommunication=12";

struct Entry {
  TYPEKIND kind;
  const char* name;
  const char* guid;                  // nullptr for the enumerations
  const char* help;                  // nullptr for the enumerations
  const char* detail;                // a class's default interface, an enumeration's constants
  std::vector<Member> (*members)();  // an interface's members
};

// The library's entries in their order: each class, then what it brings in.
const Entry kEntries[] = {
    {TKIND_COCLASS, "COrvaneControl", "{5D605A2B-ACDE-49CD-9642-7B268923ACD9}",
     "OrvaneControl Class", "IOrvaneControl", nullptr},
    {TKIND_DISPATCH, "IOrvaneControl", "{EF9547D2-97F6-412F-A886-BABD7005A4D8}",
     "IOrvaneControl Interface", nullptr, OrvaneMembers},
    {TKIND_ENUM, "EMotorStatus", nullptr, nullptr, kMotorStatus, nullptr},
    {TKIND_ENUM, "EUSBError", nullptr, nullptr, kUsbError, nullptr},
    {TKIND_DISPATCH, "_IMotionEvents", kEventsIid, "Motion events of the ZELUSB controls", nullptr,
     EventMembers},
    {TKIND_COCLASS, "CKestrinControl", "{72B4B28B-9DF6-4E69-9E00-F1EE51001ADD}",
     "KestrinControl Class", "IKestrinControl", nullptr},
    {TKIND_DISPATCH, "IKestrinControl", "{080F7E03-AC50-4949-AACA-E79F82D3099F}",
     "IKestrinControl Interface", nullptr, KestrinMembers},
    {TKIND_COCLASS, "CPolyaxControl", "{E16C6003-9217-4626-83B0-757C9EA47E53}",
     "PolyaxControl Class", "IPolyaxControl", nullptr},
    {TKIND_DISPATCH, "IPolyaxControl", "{A7B202AB-A508-4235-9C97-C25799782590}",
     "IPolyaxControl Interface", nullptr, PolyaxMembers},
};

// Reading the compiled library.

struct Documentation {
  std::string name, help;
};

Documentation Document(ITypeInfo* info, MEMBERID id) {
  BSTR name = nullptr, help = nullptr;
  if (FAILED(info->GetDocumentation(id, &name, &help, nullptr, nullptr))) return {"<none>", ""};
  return {Take(name), Take(help)};
}

// The type that `info` refers to by `reference` (an implemented interface, a parameter's
// enumeration), or false.
bool Referenced(ITypeInfo* info, HREFTYPE reference, zel::ComRef<ITypeInfo>& referenced) {
  return SUCCEEDED(info->GetRefTypeInfo(reference, referenced.Put()));
}

std::string TypeName(ITypeInfo* info, const TYPEDESC& type) {
  zel::ComRef<ITypeInfo> referenced;
  switch (type.vt) {
    case VT_I4:
      return "long";
    case VT_R8:
      return "double";
    case VT_BOOL:
      return "VARIANT_BOOL";
    case VT_BSTR:
      return "BSTR";
    case VT_PTR:
      return TypeName(info, *type.lptdesc) + "*";
    case VT_USERDEFINED:
      if (!Referenced(info, type.hreftype, referenced)) return "<bad reference>";
      return Document(referenced.Get(), MEMBERID_NIL).name;
    default:
      return "vt " + std::to_string(type.vt);
  }
}

// "[in, optional, default 0] VARIANT_BOOL bAsynchron": the direction flags, an optional
// argument's default, the type and the name.
std::string Parameter(ITypeInfo* info, const ELEMDESC& element, const std::string& name) {
  const PARAMDESC& description = element.paramdesc;
  USHORT flags = description.wParamFlags;
  std::string attributes;
  auto take = [&](USHORT flag, const std::string& text) {
    if ((flags & flag) == 0) return;
    if (!attributes.empty()) attributes += ", ";
    attributes += text;
    flags &= static_cast<USHORT>(~flag);
  };
  take(PARAMFLAG_FIN, "in");
  take(PARAMFLAG_FOUT, "out");
  take(PARAMFLAG_FRETVAL, "retval");
  take(PARAMFLAG_FOPT, "optional");
  std::string value = "?";
  VARIANT text;
  VariantInit(&text);
  if ((flags & PARAMFLAG_FHASDEFAULT) != 0 && description.pparamdescex != nullptr &&
      SUCCEEDED(VariantChangeType(&text, &description.pparamdescex->varDefaultValue, 0, VT_BSTR)))
    value = Narrow(V_BSTR(&text));
  VariantClear(&text);
  take(PARAMFLAG_FHASDEFAULT, "default " + value);
  take(flags, "flags " + std::to_string(flags));
  std::string result = "[" + attributes + "] " + TypeName(info, element.tdesc);
  if (!name.empty()) result += " " + name;
  return result;
}

// "4 method MoveMotor([in] long lMotorID, ...)". Names are looked up by member id, and a
// property's put shares its id with its get, so only the get's parameter names can be read
// back: a put's new value is written without one, which is what it should have anyway.
std::string Function(ITypeInfo* info, const FUNCDESC& function) {
  BSTR names[16] = {};
  UINT count = 0;
  if (FAILED(info->GetNames(function.memid, names, 16, &count))) count = 0;
  std::vector<std::string> name;
  for (UINT i = 0; i < count; ++i) name.push_back(Take(names[i]));
  const INVOKEKIND kind = function.invkind;
  std::string text = std::to_string(function.memid) + " " +
                     (kind == INVOKE_FUNC          ? "method"
                      : kind == INVOKE_PROPERTYGET ? "get"
                      : kind == INVOKE_PROPERTYPUT ? "put"
                                                   : "kind " + std::to_string(kind)) +
                     " " + (name.empty() ? "<unnamed>" : name[0]) + "(";
  for (SHORT k = 0; k < function.cParams; ++k) {
    const std::size_t slot = static_cast<std::size_t>(k) + 1;
    if (k != 0) text += ", ";
    text += Parameter(info, function.lprgelemdescParam[k],
                      kind != INVOKE_PROPERTYPUT && slot < name.size() ? name[slot] : "");
  }
  return text + ")";
}

// A type's kind, the type flags it must carry (others may be set) and its number of functions.
void CheckType(const Attributes& attributes, TYPEKIND kind, WORD flags, std::size_t functions,
               const std::string& what) {
  if (!attributes) return;
  CHECK_EQ(std::to_string(attributes->typekind), std::to_string(kind), what + ": kind");
  CHECK_EQ(std::to_string(attributes->wTypeFlags & flags), std::to_string(flags),
           what + ": type flags");
  CHECK_EQ(std::to_string(attributes->cFuncs), std::to_string(functions), what + ": functions");
}

// The function table of a dual interface: dual and automation-compatible, its members in their
// slots after IUnknown's three and IDispatch's four, each a plain call that returns an HRESULT.
void CheckFunctionTable(ITypeInfo* info, const std::string& interfaceName,
                        const std::vector<Member>& expected) {
  const Attributes attributes(info);
  CheckType(attributes, TKIND_INTERFACE, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, expected.size(),
            interfaceName);
  for (UINT i = 0; attributes && i < attributes->cFuncs && i < expected.size(); ++i) {
    const Member& member = expected[i];
    const std::string where = interfaceName + " member " + std::to_string(i);
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) {
      CHECK(!"function description");
      continue;
    }
    CHECK_EQ(Function(info, *function),
             std::to_string(member.dispid) + " " + member.kind + " " + member.name + "(" +
                 member.parameters + ")",
             where);
    CHECK_EQ(std::to_string(function->oVft), std::to_string((7 + i) * sizeof(void*)),
             where + ": function-table slot");
    CHECK(function->funckind == FUNC_PUREVIRTUAL && function->callconv == CC_STDCALL);
    CHECK(function->elemdescFunc.tdesc.vt == VT_HRESULT);
    const bool method = std::string(member.kind) == "method";
    CHECK_EQ(Document(info, function->memid).help,
             (method ? "method " : "property ") + std::string(member.name), where + ": help");
    info->ReleaseFuncDesc(function);
  }
}

// A dual interface: the dispatch side that the library lists, which also counts IDispatch's
// seven members, and behind it the function table, which derives from the automation library's
// IDispatch.
void CheckInterface(ITypeInfo* dispatch, const Entry& entry) {
  const std::vector<Member> expected = entry.members();
  CheckType(Attributes(dispatch), TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE,
            7 + expected.size(), std::string(entry.name) + " (dispatch)");
  HREFTYPE reference = 0;
  zel::ComRef<ITypeInfo> table, base;
  zel::ComRef<ITypeLib> baseLibrary;
  UINT index = 0;
  if (FAILED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference)) ||
      !Referenced(dispatch, reference, table)) {
    CHECK(!"the function-table side of the dual interface");
    return;
  }
  CheckFunctionTable(table.Get(), entry.name, expected);
  if (FAILED(table->GetRefTypeOfImplType(0, &reference)) ||
      !Referenced(table.Get(), reference, base) ||
      FAILED(base->GetContainingTypeLib(baseLibrary.Put(), &index))) {
    CHECK(!"the base interface and its library");
    return;
  }
  if (const Attributes attributes(base.Get()); attributes)
    CHECK_EQ(Text(attributes->guid), kDispatchIid, std::string(entry.name) + ": base");
  TLIBATTR* library = nullptr;
  if (SUCCEEDED(baseLibrary->GetLibAttr(&library))) {
    CHECK_EQ(Text(library->guid), kAutomationLibId, std::string(entry.name) + ": base's library");
    baseLibrary->ReleaseTLibAttr(library);
  }
}

// The events' dispinterface: its two methods, each dispatched and returning nothing.
void CheckEvents(ITypeInfo* info, const Entry& entry) {
  const std::vector<Member> expected = entry.members();
  const Attributes attributes(info);
  CheckType(attributes, TKIND_DISPATCH, TYPEFLAG_FDISPATCHABLE, expected.size(), entry.name);
  if (attributes) CHECK((attributes->wTypeFlags & TYPEFLAG_FDUAL) == 0);
  for (UINT i = 0; attributes && i < attributes->cFuncs && i < expected.size(); ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    const Member& member = expected[i];
    CHECK_EQ(Function(info, *function),
             std::to_string(member.dispid) + " " + member.kind + " " + member.name + "(" +
                 member.parameters + ")",
             entry.name);
    CHECK(function->funckind == FUNC_DISPATCH && function->elemdescFunc.tdesc.vt == VT_VOID);
    info->ReleaseFuncDesc(function);
  }
}

// A class: creatable, not flagged as a control, its interface the default and the events its
// default source.
void CheckClass(ITypeInfo* info, const Entry& entry) {
  if (const Attributes attributes(info); attributes) {
    CHECK_EQ(std::to_string(attributes->wTypeFlags & (TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL)),
             std::to_string(TYPEFLAG_FCANCREATE), std::string(entry.name) + ": flags");
    CHECK(attributes->cImplTypes == 2);
  }
  const struct {
    INT flags;
    const char* name;
  } implementedTypes[] = {{IMPLTYPEFLAG_FDEFAULT, entry.detail},
                          {IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, "_IMotionEvents"}};
  for (UINT k = 0; k < std::size(implementedTypes); ++k) {
    INT flags = 0;
    HREFTYPE reference = 0;
    zel::ComRef<ITypeInfo> implemented;
    CHECK(SUCCEEDED(info->GetImplTypeFlags(k, &flags)) && flags == implementedTypes[k].flags);
    CHECK(SUCCEEDED(info->GetRefTypeOfImplType(k, &reference)) &&
          Referenced(info, reference, implemented));
    if (implemented.Get() != nullptr)
      CHECK_EQ(Document(implemented.Get(), MEMBERID_NIL).name, implementedTypes[k].name,
               std::string(entry.name) + ": implemented type " + std::to_string(k));
  }
}

// An enumeration: 32-bit constants, in this order.
void CheckEnumeration(ITypeInfo* info, const Entry& entry) {
  const Attributes attributes(info);
  if (!attributes) return;
  CHECK(attributes->cbSizeInstance == 4);
  std::string got;
  for (UINT i = 0; i < attributes->cVars; ++i) {
    VARDESC* variable = nullptr;
    if (FAILED(info->GetVarDesc(i, &variable))) {
      got += " <no description>";
      continue;
    }
    std::string value = "?";
    if (variable->varkind == VAR_CONST && V_VT(variable->lpvarValue) == VT_I4)
      value = std::to_string(V_I4(variable->lpvarValue));
    if (i != 0) got += ' ';
    got += Document(info, variable->memid).name + "=" + value;
    info->ReleaseVarDesc(variable);
  }
  CHECK_EQ(got, entry.detail, entry.name);
}

void CheckLibrary(ITypeLib* library) {
  TLIBATTR* attributes = nullptr;
  if (SUCCEEDED(library->GetLibAttr(&attributes))) {
    CHECK_EQ(Text(attributes->guid), kLibId, "LIBID");
    CHECK(attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0);
    CHECK(attributes->lcid == 0);
    CHECK(attributes->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32));
    library->ReleaseTLibAttr(attributes);
  } else {
    CHECK(!"library attributes");
  }
  BSTR name = nullptr, help = nullptr;
  CHECK(library->GetDocumentation(-1, &name, &help, nullptr, nullptr) == S_OK);
  CHECK_EQ(Take(name), "ZELUSB", "library name");
  CHECK_EQ(Take(help), "ZELUSB 1.0 Type Library", "library help string");

  CHECK_EQ(std::to_string(library->GetTypeInfoCount()), std::to_string(std::size(kEntries)),
           "entries");
  for (UINT i = 0; i < library->GetTypeInfoCount() && i < std::size(kEntries); ++i) {
    const Entry& entry = kEntries[i];
    zel::ComRef<ITypeInfo> info;
    TYPEKIND kind = TKIND_MAX;
    if (FAILED(library->GetTypeInfo(i, info.Put())) || FAILED(library->GetTypeInfoType(i, &kind))) {
      CHECK(!"library entry");
      continue;
    }
    const Documentation documentation = Document(info.Get(), MEMBERID_NIL);
    CHECK_EQ(documentation.name, entry.name, "entry " + std::to_string(i));
    CHECK_EQ(std::to_string(kind), std::to_string(entry.kind), std::string(entry.name) + ": kind");
    if (entry.help != nullptr) CHECK_EQ(documentation.help, entry.help, entry.name);
    if (const Attributes type(info.Get()); type && entry.guid != nullptr)
      CHECK_EQ(Text(type->guid), entry.guid, std::string(entry.name) + ": GUID");
    if (kind != entry.kind) continue;
    if (kind == TKIND_COCLASS) CheckClass(info.Get(), entry);
    if (kind == TKIND_DISPATCH && entry.members == EventMembers) CheckEvents(info.Get(), entry);
    if (kind == TKIND_DISPATCH && entry.members != EventMembers) CheckInterface(info.Get(), entry);
    if (kind == TKIND_ENUM) CheckEnumeration(info.Get(), entry);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: type_library_checks PATH\\ZELUSB.dll\n");
    return 2;
  }
  // As a client loads it: from the library file, whose TYPELIB resource 1 is the default.
  zel::ComRef<ITypeLib> library;
  CHECK(LoadTypeLibEx(argv[1], REGKIND_NONE, library.Put()) == S_OK);
  if (library.Get() != nullptr) CheckLibrary(library.Get());
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
