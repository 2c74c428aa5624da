// The numbers USB backends give their units.
#include "platform/unit_numbering.h"

#include <gtest/gtest.h>

#include <string>

namespace zel {
namespace {

TEST(UnitNumberingTest, NumbersBelongToPortAndProductAndRunOutAfter128) {
  UnitNumbering numbering;
  EXPECT_EQ(numbering.NumberOf("1-2", 0x314D), 0);
  EXPECT_EQ(numbering.NumberOf("1-1", 0x314E), 1);
  EXPECT_EQ(numbering.NumberOf("1-2", 0x314C), 2);  // another product at a known port
  EXPECT_EQ(numbering.NumberOf("1-2", 0x314D), 0);  // the first product back at its port
  for (int port = 3; port < 200; ++port) numbering.NumberOf("1-" + std::to_string(port), 0x314D);
  EXPECT_EQ(numbering.NumberOf("1-127", 0x314D), 127);
  EXPECT_EQ(numbering.NumberOf("1-128", 0x314D), std::nullopt);
  EXPECT_EQ(numbering.NumberOf("1-1", 0x314E), 1);
  ASSERT_NE(numbering.OwnerOf(2), nullptr);
  EXPECT_EQ(numbering.OwnerOf(2)->port, "1-2");
  EXPECT_EQ(numbering.OwnerOf(2)->productId, 0x314C);
  EXPECT_EQ(numbering.OwnerOf(128), nullptr);
  EXPECT_EQ(numbering.OwnerOf(-1), nullptr);
}

}  // namespace
}  // namespace zel
