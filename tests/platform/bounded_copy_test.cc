#include "platform/bounded_copy.h"

#include <gtest/gtest.h>

#include <cstring>

namespace talmor {
namespace {

TEST(BoundedCopy, CopiesAtMostSizeMinusOneAndSkipsUnusableBuffers) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(CopyToBuffer("Administrator", buffer, 8), 7u);
  EXPECT_STREQ(buffer, "Adminis");
  EXPECT_EQ(CopyToBuffer("Admin", buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "Admin");
  EXPECT_EQ(CopyToBuffer("1234567", buffer, 8), 7u);  // exact fit
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(CopyToBuffer("abc", buffer, 1), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '2');  // nothing beyond the buffer's size is touched

  std::memcpy(buffer, "keepme", 7);
  EXPECT_EQ(CopyToBuffer("abc", buffer, 0), 0u);
  EXPECT_EQ(CopyToBuffer("abc", buffer, -1), 0u);
  EXPECT_EQ(CopyToBuffer("abc", buffer, size_t{0}), 0u);
  EXPECT_STREQ(buffer, "keepme");
  EXPECT_EQ(CopyToBuffer("abc", nullptr, 8), 0u);
  EXPECT_EQ(CopyToBuffer("", buffer, 8), 0u);
  EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace talmor
