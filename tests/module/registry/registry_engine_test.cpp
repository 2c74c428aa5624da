#include "module/registry/registry_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/registry/memory_registry.h"

namespace zel::registry {
namespace {

using Lines = std::vector<std::string>;

Key MakeKey(Text name, KeyKind kind, std::optional<Text> value = std::nullopt,
            std::vector<Entry> entries = {}) {
  Key key;
  key.name = std::move(name);
  key.kind = kind;
  key.defaultValue = std::move(value);
  key.entries = std::move(entries);
  return key;
}

// Kept "Root" > replaced "Item" (default value, named value, normal "Sub" with a value,
// replaced empty "Flag"), and a normal top-level key "Top".
Tree SampleTree() {
  Tree tree;
  Key item = MakeKey(Filled("%NAME%"), KeyKind::kReplaced, Fixed("item"),
                     {Entry{NamedValue{Fixed("Where"), Filled("%DIR%\\x")}},
                      Entry{MakeKey(Fixed("Sub"), KeyKind::kNormal, Fixed("sub"))},
                      Entry{MakeKey(Fixed("Flag"), KeyKind::kReplaced)}});
  tree.keys.push_back(MakeKey(Fixed("Top"), KeyKind::kNormal, Fixed("100%")));
  tree.keys.push_back(
      MakeKey(Fixed("Root"), KeyKind::kKept, std::nullopt, {Entry{std::move(item)}}));
  return tree;
}

class RegistryEngineTest : public ::testing::Test {
 protected:
  RegistryEngineTest() {
    variables_.Add("NAME", "Item");
    variables_.Add("DIR", "C:\\d");
  }
  HRESULT Register() { return RunTree(SampleTree(), Mode::kRegister, variables_, registry_); }
  HRESULT Unregister() { return RunTree(SampleTree(), Mode::kUnregister, variables_, registry_); }
  ReplacementTable variables_;
  MemoryRegistry registry_;
};

TEST_F(RegistryEngineTest, RegisterWritesKeysAndValuesInTreeOrder) {
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(registry_.Log(), (Lines{
                                 "create Top",
                                 "set Top [@] = 100%",  // fixed texts are not substituted
                                 "create Root",
                                 "delete Root\\Item -> 2",  // a missing replaced key is no error
                                 "create Root\\Item",
                                 "set Root\\Item [@] = item",
                                 "set Root\\Item [Where] = C:\\d\\x",
                                 "create Root\\Item\\Sub",
                                 "set Root\\Item\\Sub [@] = sub",
                                 "delete Root\\Item\\Flag -> 2",
                                 "create Root\\Item\\Flag",
                             }));
}

TEST_F(RegistryEngineTest, RegisterTwiceWipesReplacedKeysButNotNormalOnes) {
  ASSERT_EQ(Register(), S_OK);
  registry_.SetString("Root\\Item", "ByHand", "1");
  registry_.CreateKey("Root\\Item\\Extra");
  registry_.SetString("Top", "ByHand", "2");
  registry_.CreateKey("Root\\Other");
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(registry_.Dump(), (Lines{
                                  "Root",
                                  "Root\\Item",
                                  "Root\\Item [@] = item",
                                  "Root\\Item [Where] = C:\\d\\x",
                                  "Root\\Item\\Flag",
                                  "Root\\Item\\Sub",
                                  "Root\\Item\\Sub [@] = sub",
                                  "Root\\Other",
                                  "Top",
                                  "Top [@] = 100%",
                                  "Top [ByHand] = 2",
                              }));
}

TEST_F(RegistryEngineTest, UnregisterRemovesWhatHoldsSomethingAndKeepsKeptKeys) {
  ASSERT_EQ(Register(), S_OK);
  registry_.CreateKey("Root\\Other");
  registry_.ClearLog();
  ASSERT_EQ(Unregister(), S_OK);
  // The empty "Flag" goes with its parent; the kept "Root" stays with what others put there.
  EXPECT_EQ(registry_.Log(), (Lines{"delete Top", "delete Root\\Item\\Sub", "delete Root\\Item"}));
  EXPECT_EQ(registry_.Dump(), (Lines{"Root", "Root\\Other"}));
  // A second run finds nothing to remove and still succeeds.
  ASSERT_EQ(Unregister(), S_OK);
  EXPECT_EQ(registry_.Dump(), (Lines{"Root", "Root\\Other"}));
}

TEST_F(RegistryEngineTest, RegistryFailuresEndTheRunAsWin32Results) {
  registry_.FailOperation(5, kErrorAccessDenied);  // the creation of Root\Item
  EXPECT_EQ(Register(), static_cast<HRESULT>(0x80070005u));
  EXPECT_EQ(registry_.Log().back(), "create Root\\Item -> 5");
  // What was written before the failure stays.
  EXPECT_TRUE(registry_.HasKey("Top"));
  EXPECT_TRUE(registry_.HasKey("Root"));
  EXPECT_EQ(registry_.Dump().size(), 3u);

  ASSERT_EQ(Register(), S_OK);
  registry_.FailOperation(2, kErrorAccessDenied);  // deleting Root\Item\Sub
  EXPECT_EQ(Unregister(), static_cast<HRESULT>(0x80070005u));
  EXPECT_TRUE(registry_.HasKey("Root\\Item"));
  EXPECT_FALSE(registry_.HasKey("Top"));
}

TEST_F(RegistryEngineTest, ABadVariableFailsBothDirectionsBeforeTouchingItsKey) {
  ReplacementTable partial;
  partial.Add("NAME", "Item");  // DIR is missing
  EXPECT_EQ(RunTree(SampleTree(), Mode::kRegister, partial, registry_), E_FAIL);
  EXPECT_EQ(registry_.Log().back(), "set Root\\Item [@] = item");
  EXPECT_EQ(RunTree(SampleTree(), Mode::kUnregister, partial, registry_), E_FAIL);
  EXPECT_TRUE(registry_.HasKey("Root\\Item"));  // the failing key was not removed
}

TEST(FromWin32Test, CarriesTheCodeInTheWin32Facility) {
  EXPECT_EQ(FromWin32(0), S_OK);
  EXPECT_EQ(FromWin32(2), static_cast<HRESULT>(0x80070002u));
  EXPECT_EQ(FromWin32(122), static_cast<HRESULT>(0x8007007Au));
}

}  // namespace
}  // namespace zel::registry
