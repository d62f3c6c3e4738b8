#include <string>

#include <gtest/gtest.h>

#include "core/TextDecoding.h"

using namespace std::string_literals;

TEST(TextDecoding, FindsTheByteOrderMark) {
  EXPECT_EQ(ByteOrderMarkOf("\xEF\xBB\xBFG04"), bomUtf8);
  EXPECT_EQ(ByteOrderMarkOf("\xFF\xFEG\0"s), bomUtf16Little);
  EXPECT_EQ(ByteOrderMarkOf("\xFE\xFF\0G"s), bomUtf16Big);
  EXPECT_EQ(ByteOrderMarkOf("\xFF"), bomNone);
  EXPECT_EQ(ByteOrderMarkOf("\xEF\xBB"), bomNone);
  EXPECT_EQ(ByteOrderMarkOf(""), bomNone);
}

// Units below the limit keep their low byte, every other one (also those
// whose low byte alone would pass) becomes the substitute; half a unit at
// the end is dropped.
TEST(TextDecoding, NarrowsUnitsBelowTheLimit) {
  const std::string little = "\xFF\xFE"
                             "A\0"
                             "\x7F\0"
                             "\x80\0"
                             "\xFF\0"
                             "A\x01"
                             "Z"s;
  EXPECT_EQ(NarrowUtf16(little, true, 128, ' '), "A\x7F   ");
  EXPECT_EQ(NarrowUtf16(little, true, 256, '?'), "A\x7F\x80\xFF?");
  const std::string big = "\xFE\xFF"
                          "\0A"
                          "\x01"
                          "A"
                          "\0"s;
  EXPECT_EQ(NarrowUtf16(big, false, 256, '?'), "A?");
}
