#include "module/registry/registry_script.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "module/registry/memory_registry.h"
#include "module/registry/registry_engine.h"

namespace zel::registry {
namespace {

std::string ReadSource(const char* name) {
  std::ifstream file(std::string(ZEL_MODULE_SOURCE_DIR) + "/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(AppIdScriptTest, IsTheResourceTextWithCrLfLinesAndTabs) {
  const std::string script = ReadSource("appid.rgs");
  EXPECT_EQ(script.size(), 117u);
  EXPECT_EQ(script.substr(0, 6), "HKCR\r\n");
  EXPECT_NE(script.find("\r\n\tNoRemove AppID\r\n"), std::string::npos);
  EXPECT_EQ(script.find('\n' + std::string(" ")), std::string::npos);
}

TEST(AppIdScriptTest, ParsesIntoTheKeptAppIdKeyWithItsTwoEntries) {
  Tree tree;
  std::string error;
  ASSERT_EQ(ParseScript(ReadSource("appid.rgs"), tree, error), S_OK) << error;
  ASSERT_EQ(tree.keys.size(), 1u);
  const Key& appId = tree.keys[0];
  EXPECT_EQ(appId.name.text, "AppID");
  EXPECT_EQ(appId.kind, KeyKind::kKept);
  ASSERT_EQ(appId.entries.size(), 2u);
  const Key& first = std::get<Key>(appId.entries[0].item);
  EXPECT_EQ(first.name.text, "%APPID%");
  EXPECT_TRUE(first.name.substituted);
  ASSERT_TRUE(first.defaultValue.has_value());
  EXPECT_EQ(first.defaultValue->text, "ZELUSB");
  const Key& second = std::get<Key>(appId.entries[1].item);
  EXPECT_EQ(second.name.text, "ZELUSB.DLL");
  ASSERT_EQ(second.entries.size(), 1u);
  const auto& value = std::get<NamedValue>(second.entries[0].item);
  EXPECT_EQ(value.name.text, "AppID");
  EXPECT_EQ(value.data.text, "%APPID%");
}

TEST(AppIdScriptTest, RegistersAndUnregistersTheTwoKeysUnderAppId) {
  Tree tree;
  std::string error;
  ASSERT_EQ(ParseScript(ReadSource("appid.rgs"), tree, error), S_OK);
  ReplacementTable variables;
  variables.Add("APPID", "{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}");
  MemoryRegistry registry;
  registry.CreateKey("AppID\\{OTHER}");
  ASSERT_EQ(RunTree(tree, Mode::kRegister, variables, registry), S_OK);
  EXPECT_EQ(registry.Dump(),
            (std::vector<std::string>{
                "AppID",
                "AppID\\ZELUSB.DLL",
                "AppID\\ZELUSB.DLL [AppID] = {871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}",
                "AppID\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}",
                "AppID\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C} [@] = ZELUSB",
                "AppID\\{OTHER}",
            }));
  ASSERT_EQ(RunTree(tree, Mode::kUnregister, variables, registry), S_OK);
  EXPECT_EQ(registry.Dump(), (std::vector<std::string>{"AppID", "AppID\\{OTHER}"}));
}

TEST(RegistryScriptTest, ReadsReplacedKeysQuotesAndKeywordsInAnyCase) {
  Tree tree;
  std::string error;
  const char* script =
      "hkey_classes_root { forceremove 'It''s' = S 'a = {b}' { VAL 'x y' = s '' } Plain }";
  ASSERT_EQ(ParseScript(script, tree, error), S_OK) << error;
  ASSERT_EQ(tree.keys.size(), 2u);
  EXPECT_EQ(tree.keys[0].kind, KeyKind::kReplaced);
  EXPECT_EQ(tree.keys[0].name.text, "It's");
  EXPECT_EQ(tree.keys[0].defaultValue->text, "a = {b}");
  const auto& value = std::get<NamedValue>(tree.keys[0].entries.at(0).item);
  EXPECT_EQ(value.name.text, "x y");
  EXPECT_EQ(value.data.text, "");
  EXPECT_EQ(tree.keys[1].name.text, "Plain");
  EXPECT_EQ(tree.keys[1].kind, KeyKind::kNormal);
  EXPECT_FALSE(tree.keys[1].Encloses());
}

TEST(RegistryScriptTest, RefusesTextOutsideTheLanguageAndSaysWhere) {
  const char* bad[] = {
      "HKLM { A }",                  // only HKEY_CLASSES_ROOT
      "HKCR { A = d '1' }",          // only string values
      "HKCR { A { val B } }",        // a value needs its data
      "HKCR {\r\n A\r\n { 'open }",  // text without its closing quote
      "HKCR { A {",                  // the file ends inside a key
      "HKCR A",
  };
  for (const char* script : bad) {
    Tree tree;
    std::string error;
    EXPECT_EQ(ParseScript(script, tree, error), E_FAIL) << script;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << script << ": " << error;
    EXPECT_TRUE(tree.keys.empty());
  }
  Tree tree;
  std::string error;
  ParseScript("HKCR\r\n{\r\n\tA = x 'y'\r\n}", tree, error);
  EXPECT_EQ(error, "line 3: expected a string value (s)");
}

}  // namespace
}  // namespace zel::registry
