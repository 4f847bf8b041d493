#include "link/line_checksum.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(LineChecksum, AppendAndCheck)
{
    char line[16] = "abc\r";
    ASSERT_TRUE(append_line_checksum(line, sizeof line));
    EXPECT_STREQ("abc C6\r", line);
    EXPECT_EQ(0, line_checksum_bad(line));
    EXPECT_EQ(1, line_checksum_bad("abc C7\r"));
    EXPECT_EQ(1, line_checksum_bad("abc D6\r"));

    char command[64] = ":AN,*Test 308\r";
    ASSERT_TRUE(append_line_checksum(command, sizeof command));
    EXPECT_EQ(0, line_checksum_bad(command));
}

TEST(LineChecksum, BoundsAndShortLines)
{
    char tight[8] = "abc\r";  // needs 8 bytes: "abc C6\r" and NUL
    EXPECT_TRUE(append_line_checksum(tight, sizeof tight));
    char small[7] = "abc\r";
    EXPECT_FALSE(append_line_checksum(small, sizeof small));
    EXPECT_STREQ("abc\r", small);
    char no_cr[16] = "abc";
    EXPECT_FALSE(append_line_checksum(no_cr, sizeof no_cr));
    EXPECT_FALSE(append_line_checksum(nullptr, 10));

    for (const char* s : {"", "\r", "\n", "C6\r", " C6\r"}) EXPECT_EQ(1, line_checksum_bad(s)) << s;
    EXPECT_EQ(1, line_checksum_bad(nullptr));
    // One text byte is the shortest checkable line: "a" ^ 0xA6 = C7.
    EXPECT_EQ(0, line_checksum_bad("a C7\r"));
}
