#include "module/registry/server_registration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "module/class_table.h"
#include "module/registry/class_registration.h"
#include "module/registry/memory_registry.h"

namespace zel::registry {
namespace {

using Lines = std::vector<std::string>;

const std::string kPath = "C:\\Program Files\\ZEL\\ZELUSB.dll";
const std::string kOrvaneKey = "CLSID\\{5D605A2B-ACDE-49CD-9642-7B268923ACD9}";
const std::string kKestrinKey = "CLSID\\{72B4B28B-9DF6-4E69-9E00-F1EE51001ADD}";

std::string AppIdScript() {
  std::ifstream file(std::string(ZEL_MODULE_SOURCE_DIR) + "/appid.rgs", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The platform's type-library registration, seen from outside: what it was asked, into the
// same log as the registry, and the result it gives.
class RecordingTypeLibrary final : public TypeLibraryRegistrar {
 public:
  explicit RecordingTypeLibrary(MemoryRegistry& registry) : registry_(registry) {}
  HRESULT Register(const std::string& path, const std::string& helpDirectory) override {
    calls.push_back("register " + path + " help " + helpDirectory);
    registry_.CreateKey("TypeLib\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}\\1.0");
    return result;
  }
  HRESULT Unregister(const std::string& path) override {
    calls.push_back("unregister " + path);
    registry_.DeleteTree("TypeLib\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}");
    return result;
  }
  Lines calls;
  HRESULT result = S_OK;

 private:
  MemoryRegistry& registry_;
};

class ServerRegistrationTest : public ::testing::Test {
 protected:
  Server MakeServer() { return Server{registry_, typeLibrary_, script_, S_OK, kPath}; }
  HRESULT Register() { return RegisterServer(MakeServer()); }
  HRESULT Unregister() { return UnregisterServer(MakeServer()); }
  // The keys and values under one key, relative to it.
  Lines Under(const std::string& key) const {
    Lines out;
    for (const std::string& line : registry_.Dump())
      if (line.rfind(key, 0) == 0) out.push_back(line.substr(key.size()));
    return out;
  }

  MemoryRegistry registry_;
  RecordingTypeLibrary typeLibrary_{registry_};
  std::string script_ = AppIdScript();
};

TEST_F(ServerRegistrationTest, WritesTheClassTreeInItsOrder) {
  ASSERT_EQ(Register(), S_OK);
  Lines orvane;
  bool inside = false;
  for (const std::string& line : registry_.Log()) {
    if (line == "create ZELUSB.OrvaneControl.1") inside = true;
    if (line == "create ZELUSB.PolyaxControl.1") inside = false;
    if (inside) orvane.push_back(line);
  }
  const std::string k = kOrvaneKey;
  EXPECT_EQ(orvane,
            (Lines{
                "create ZELUSB.OrvaneControl.1",
                "set ZELUSB.OrvaneControl.1 [@] = ZEL Orvane-USB Control",
                "create ZELUSB.OrvaneControl.1\\CLSID",
                "set ZELUSB.OrvaneControl.1\\CLSID [@] = {5D605A2B-ACDE-49CD-9642-7B268923ACD9}",
                "create ZELUSB.OrvaneControl",
                "set ZELUSB.OrvaneControl [@] = ZEL Orvane-USB Control",
                "create ZELUSB.OrvaneControl\\CLSID",
                "set ZELUSB.OrvaneControl\\CLSID [@] = {5D605A2B-ACDE-49CD-9642-7B268923ACD9}",
                "create ZELUSB.OrvaneControl\\CurVer",
                "set ZELUSB.OrvaneControl\\CurVer [@] = ZELUSB.OrvaneControl.1",
                "create CLSID",
                "delete " + k + " -> 2",
                "create " + k,
                "set " + k + " [@] = ZEL Orvane-USB Control",
                "create " + k + "\\ProgID",
                "set " + k + "\\ProgID [@] = ZELUSB.OrvaneControl.1",
                "create " + k + "\\VersionIndependentProgID",
                "set " + k + "\\VersionIndependentProgID [@] = ZELUSB.OrvaneControl",
                "create " + k + "\\InprocServer32",
                "set " + k + "\\InprocServer32 [@] = " + kPath,
                "set " + k + "\\InprocServer32 [ThreadingModel] = apartment",
                "delete " + k + "\\Control -> 2",
                "create " + k + "\\Control",
                "delete " + k + "\\ToolboxBitmap32 -> 2",
                "create " + k + "\\ToolboxBitmap32",
                "set " + k + "\\ToolboxBitmap32 [@] = " + kPath + ", 1",
                "create " + k + "\\MiscStatus",
                "set " + k + "\\MiscStatus [@] = 0",
                "create " + k + "\\MiscStatus\\1",
                "set " + k + "\\MiscStatus\\1 [@] = 131473",
                "set " + k + " [AppID] = {871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}",
                "create " + k + "\\TypeLib",
                "set " + k + "\\TypeLib [@] = {871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}",
                "create " + k + "\\Version",
                "set " + k + "\\Version [@] = 1.0",
            }));
}

TEST_F(ServerRegistrationTest, RunsAppIdThenClassesInTableOrderThenTheTypeLibrary) {
  ASSERT_EQ(Register(), S_OK);
  Lines order;
  for (const std::string& line : registry_.Log())
    if (line.rfind("create AppID\\", 0) == 0 || line.rfind("create TypeLib", 0) == 0 ||
        (line.rfind("create ZELUSB.", 0) == 0 && line.find('\\') == std::string::npos))
      order.push_back(line.substr(7));
  EXPECT_EQ(order,
            (Lines{"AppID\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}", "AppID\\ZELUSB.DLL",
                   "ZELUSB.KestrinControl.1", "ZELUSB.KestrinControl", "ZELUSB.OrvaneControl.1",
                   "ZELUSB.OrvaneControl", "ZELUSB.PolyaxControl.1", "ZELUSB.PolyaxControl",
                   "TypeLib\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}\\1.0"}));
  EXPECT_EQ(typeLibrary_.calls, (Lines{"register " + kPath + " help C:\\Program Files\\ZEL"}));
}

TEST_F(ServerRegistrationTest, KestrinKeysHoldWhatContainersLookUp) {
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(registry_.Value(kKestrinKey + "\\InprocServer32"), kPath);
  EXPECT_EQ(registry_.Value(kKestrinKey + "\\InprocServer32", "threadingmodel"), "apartment");
  EXPECT_EQ(registry_.Value("ZELUSB.KestrinControl\\CurVer"), "ZELUSB.KestrinControl.1");
  EXPECT_EQ(registry_.Value(kKestrinKey + "\\MiscStatus\\1"), "131473");
  EXPECT_EQ(registry_.Value(kKestrinKey + "\\ToolboxBitmap32"), kPath + ", 1");
  EXPECT_EQ(registry_.Value(kKestrinKey), "ZEL Kestrin-USB Control");
  EXPECT_EQ(registry_.Value("ZELUSB.PolyaxControl.1\\CLSID"),
            "{E16C6003-9217-4626-83B0-757C9EA47E53}");
}

TEST_F(ServerRegistrationTest, RegisteringTwiceLeavesOneTreeAndWipesHandAddedValues) {
  ASSERT_EQ(Register(), S_OK);
  const Lines first = registry_.Dump();
  registry_.SetString(kOrvaneKey, "AddedByHand", "x");
  registry_.CreateKey(kOrvaneKey + "\\Implemented Categories");
  registry_.SetString(kOrvaneKey + "\\Control", "", "stale");
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(registry_.Dump(), first);
}

TEST_F(ServerRegistrationTest, UnregisterKeepsClsidAndAppIdAndSucceedsTwice) {
  registry_.CreateKey("CLSID\\{00000000-1111-2222-3333-444444444444}");
  registry_.CreateKey("AppID\\{OTHER}");
  ASSERT_EQ(Register(), S_OK);
  ASSERT_EQ(Unregister(), S_OK);
  EXPECT_EQ(registry_.Dump(), (Lines{"AppID", "AppID\\{OTHER}", "CLSID",
                                     "CLSID\\{00000000-1111-2222-3333-444444444444}", "TypeLib"}));
  EXPECT_EQ(typeLibrary_.calls.back(), "unregister " + kPath);
  ASSERT_EQ(Unregister(), S_OK);
  EXPECT_EQ(registry_.Dump().size(), 5u);
}

TEST_F(ServerRegistrationTest, UnregisterRunsClassesThenTypeLibraryThenAppId) {
  ASSERT_EQ(Register(), S_OK);
  registry_.ClearLog();
  ASSERT_EQ(Unregister(), S_OK);
  // The deletions of whole class, ProgID, AppID and type-library keys, in order.
  Lines deletes;
  for (const std::string& line : registry_.Log()) {
    if (line.rfind("delete ", 0) != 0) continue;
    const auto depth = std::count(line.begin(), line.end(), '\\');
    const bool shared = line.rfind("delete CLSID\\", 0) == 0 ||
                        line.rfind("delete AppID\\", 0) == 0 ||
                        line.rfind("delete TypeLib\\", 0) == 0;
    if (depth == (shared ? 1 : 0)) deletes.push_back(line);
  }
  EXPECT_EQ(deletes, (Lines{
                         "delete ZELUSB.KestrinControl.1",
                         "delete ZELUSB.KestrinControl",
                         "delete " + kKestrinKey,
                         "delete ZELUSB.OrvaneControl.1",
                         "delete ZELUSB.OrvaneControl",
                         "delete " + kOrvaneKey,
                         "delete ZELUSB.PolyaxControl.1",
                         "delete ZELUSB.PolyaxControl",
                         "delete CLSID\\{E16C6003-9217-4626-83B0-757C9EA47E53}",
                         "delete TypeLib\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}",
                         "delete AppID\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}",
                         "delete AppID\\ZELUSB.DLL",
                     }));
}

TEST_F(ServerRegistrationTest, TheFirstFailingStepEndsTheSequenceAndNothingIsUndone) {
  typeLibrary_.result = static_cast<HRESULT>(0x80029C4Au);  // the library cannot be loaded
  EXPECT_EQ(Register(), static_cast<HRESULT>(0x80029C4Au));
  EXPECT_TRUE(registry_.HasKey(kKestrinKey));

  MemoryRegistry registry;
  RecordingTypeLibrary typeLibrary(registry);
  registry.FailOperation(4, kErrorAccessDenied);  // the AppID's second key
  EXPECT_EQ(RegisterServer(Server{registry, typeLibrary, script_, S_OK, kPath}),
            static_cast<HRESULT>(0x80070005u));
  EXPECT_TRUE(registry.HasKey("AppID\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}"));
  EXPECT_FALSE(registry.HasKey("ZELUSB.KestrinControl.1"));
  EXPECT_TRUE(typeLibrary.calls.empty());

  typeLibrary_.result = static_cast<HRESULT>(0x80029C4Au);
  EXPECT_EQ(Unregister(), static_cast<HRESULT>(0x80029C4Au));
  EXPECT_TRUE(registry_.HasKey("AppID\\ZELUSB.DLL"));  // the AppID step never ran
  EXPECT_FALSE(registry_.HasKey(kKestrinKey));
}

TEST_F(ServerRegistrationTest, ModulePathsThatDoNotFitOrCannotBeReadFailBeforeAnyChange) {
  const std::string longest(259, 'p'), tooLong(260, 'p');
  EXPECT_EQ(RegisterServer(Server{registry_, typeLibrary_, script_, S_OK, longest}), S_OK);
  MemoryRegistry untouched;
  RecordingTypeLibrary typeLibrary(untouched);
  EXPECT_EQ(RegisterServer(Server{untouched, typeLibrary, script_, S_OK, tooLong}),
            static_cast<HRESULT>(0x8007007Au));
  EXPECT_EQ(UnregisterServer(Server{untouched, typeLibrary, script_, S_OK, tooLong}),
            static_cast<HRESULT>(0x8007007Au));
  const HRESULT denied = static_cast<HRESULT>(0x80070005u);
  EXPECT_EQ(RegisterServer(Server{untouched, typeLibrary, script_, denied, ""}), denied);
  EXPECT_TRUE(untouched.Log().empty());
  EXPECT_TRUE(typeLibrary.calls.empty());
}

TEST_F(ServerRegistrationTest, AScriptWithAnUnknownVariableFailsWithEFail) {
  script_ = "HKCR { NoRemove AppID { '%APPID%' = s '%FriendlyName%' } }";
  EXPECT_EQ(Register(), E_FAIL);  // the AppID script knows APPID, Module and Module_Raw only
  script_ = "HKCR { NoRemove AppID { '%APPID%' = s '%module_raw%' } }";
  EXPECT_EQ(Register(), S_OK);
  EXPECT_EQ(registry_.Value("AppID\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}"), kPath);
  script_ = "HKCR { NoRemove AppID ";
  EXPECT_EQ(Register(), E_FAIL);
}

TEST(HelpDirectoryTest, IsThePathWithoutItsFileName) {
  EXPECT_EQ(HelpDirectory("C:\\a\\b\\ZELUSB.dll"), "C:\\a\\b");
  EXPECT_EQ(HelpDirectory("ZELUSB.dll"), "");
}

TEST(ModuleVariablesTest, QuoteOnlyAnExecutablesPath) {
  const ReplacementTable library = ModuleVariables("C:\\x y\\ZELUSB.dll");
  EXPECT_EQ(*library.Find("Module"), "C:\\x y\\ZELUSB.dll");
  EXPECT_EQ(*library.Find("MODULETYPE"), "InprocServer32");
  EXPECT_EQ(*library.Find("MODULEGUID"), "{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}");
  const ReplacementTable program = ModuleVariables("C:\\x y\\zel.exe", true);
  EXPECT_EQ(*program.Find("Module"), "\"C:\\x y\\zel.exe\"");
  EXPECT_EQ(*program.Find("Module_Raw"), "C:\\x y\\zel.exe");
  EXPECT_EQ(*program.Find("MODULETYPE"), "LocalServer32");
}

}  // namespace
}  // namespace zel::registry
