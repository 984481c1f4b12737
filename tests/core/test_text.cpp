#include "core/text.h"

#include <gtest/gtest.h>

TEST(Text, CopyStopsBeforeADoubleByteCharacterThatDoesNotFit)
{
    char out[4];
    sys_copy_string(out, "ab\x88\x9f", sizeof out);
    EXPECT_STREQ(out, "ab");
}
