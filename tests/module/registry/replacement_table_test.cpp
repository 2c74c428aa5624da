#include "module/registry/replacement_table.h"

#include <gtest/gtest.h>

#include <string>

namespace zel::registry {
namespace {

class SubstituteTest : public ::testing::Test {
 protected:
  SubstituteTest() {
    table_.Add("Module", "C:\\lab\\ZELUSB.dll");
    table_.Add("APPID", "{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}");
  }
  HRESULT Run(const std::string& text, LeadBytePredicate lead = nullptr) {
    out_ = "untouched";
    return Substitute(text, table_, out_, lead);
  }
  ReplacementTable table_;
  std::string out_;
};

TEST_F(SubstituteTest, NamesMatchWithoutRegardToCase) {
  ASSERT_EQ(Run("%MODULE%, 1"), S_OK);
  EXPECT_EQ(out_, "C:\\lab\\ZELUSB.dll, 1");
  ASSERT_EQ(Run("[%appid%|%Module%]"), S_OK);
  EXPECT_EQ(out_, "[{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}|C:\\lab\\ZELUSB.dll]");
}

TEST_F(SubstituteTest, TwoPercentSignsYieldOne) {
  ASSERT_EQ(Run("100%% sure, %%MODULE%%"), S_OK);
  EXPECT_EQ(out_, "100% sure, %MODULE%");
  ASSERT_EQ(Run("plain text"), S_OK);
  EXPECT_EQ(out_, "plain text");
}

TEST_F(SubstituteTest, BadVariablesFailTheText) {
  EXPECT_EQ(Run("%NOSUCH%"), E_FAIL);
  EXPECT_EQ(Run("%MODULE"), E_FAIL);  // no closing percent sign
  EXPECT_EQ(Run("tail %"), E_FAIL);
  // Names of 32 characters or more are refused even when the table has them.
  const std::string name31(31, 'N'), name32(32, 'N');
  table_.Add(name31, "31");
  table_.Add(name32, "32");
  ASSERT_EQ(Run("%" + name31 + "%"), S_OK);
  EXPECT_EQ(out_, "31");
  EXPECT_EQ(Run("%" + name32 + "%"), E_FAIL);
}

TEST_F(SubstituteTest, TrailBytesOfTwoByteCharactersStartNoVariable) {
  // In a two-byte code page the pair 0x81 0x25 is one character whose second byte is '%'.
  auto lead = [](char c) { return static_cast<unsigned char>(c) == 0x81; };
  ASSERT_EQ(Run("\x81%%MODULE%", lead), S_OK);
  EXPECT_EQ(out_, "\x81%C:\\lab\\ZELUSB.dll");
  // Without the code page's knowledge the same bytes read as "%%" then "MODULE%".
  EXPECT_EQ(Run("\x81%%MODULE%"), E_FAIL);
}

TEST(ReplacementTableTest, FindsTheFirstEntryOfAName) {
  ReplacementTable table;
  table.Add("Module", "first");
  table.Add("MODULE", "second");
  ASSERT_NE(table.Find("module"), nullptr);
  EXPECT_EQ(*table.Find("module"), "first");
  EXPECT_EQ(table.Find("Modul"), nullptr);
}

}  // namespace
}  // namespace zel::registry
