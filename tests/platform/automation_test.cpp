#include "platform/automation.h"

#include <gtest/gtest.h>

namespace zel {
namespace {

struct Bstr {
  BSTR text = nullptr;
  ~Bstr() { SysFreeString(text); }
};

TEST(AutomationTest, BooleansLeaveAsOneAndZero) {
  EXPECT_EQ(ToVariantBool(true), 1);
  EXPECT_EQ(ToVariantBool(false), 0);
  EXPECT_TRUE(FromVariantBool(-1));
  EXPECT_TRUE(FromVariantBool(1));
  EXPECT_TRUE(FromVariantBool(static_cast<VARIANT_BOOL>(0x100)));
  EXPECT_FALSE(FromVariantBool(0));
}

TEST(AutomationTest, NarrowTextBecomesAStringOfExactlyItsLength) {
  Bstr s;
  ASSERT_EQ(NarrowToBstr("No Device", &s.text), S_OK);
  EXPECT_EQ(SysStringLen(s.text), 9u);
  EXPECT_EQ(s.text[0], u'N');
  EXPECT_EQ(s.text[9], 0);
  Bstr empty;
  ASSERT_EQ(NarrowToBstr("", &empty.text), S_OK);
  ASSERT_NE(empty.text, nullptr);  // empty, not null
  EXPECT_EQ(SysStringLen(empty.text), 0u);
}

TEST(AutomationTest, CodePageRoundTrip) {
  const std::string text = "\x80 \xE9\xFC \x9F";  // euro, e acute, u umlaut, Y diaeresis
  Bstr s;
  ASSERT_EQ(NarrowToBstr(text, &s.text), S_OK);
  EXPECT_EQ(s.text[0], 0x20AC);
  EXPECT_EQ(s.text[2], 0x00E9);
  EXPECT_EQ(s.text[5], 0x0178);
  EXPECT_EQ(BstrToNarrow(s.text), text);
}

TEST(AutomationTest, WideTextOutsideTheCodePageAndEmbeddedZeros) {
  const OLECHAR wide[] = {u'A', 0x4E2D, u'B', 0, u'C'};
  BSTR s = SysAllocStringLen(wide, 5);
  EXPECT_EQ(BstrToNarrow(s), "A?B");
  SysFreeString(s);
  EXPECT_EQ(BstrToNarrow(nullptr), "");
}

TEST(AutomationTest, AllocationFailureIsReportedAndLeavesTheResultAlone) {
  BSTR untouched = nullptr;
  automation::FailStringAllocations(1);
  EXPECT_EQ(NarrowToBstr("x", &untouched), E_OUTOFMEMORY);
  EXPECT_EQ(untouched, nullptr);
  Bstr s;
  EXPECT_EQ(NarrowToBstr("x", &s.text), S_OK);
}

}  // namespace
}  // namespace zel
