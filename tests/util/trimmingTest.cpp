#include "util/trimming.h"

#include <gtest/gtest.h>

// Request parsing drops every control byte around a token; name=value text
// drops only spaces and tabs and keeps the rest as data.
TEST(Trimming, ControlsAndBlanksAreDifferentSets)
{
    const QByteArray padded("\x01\t\r\n x y \x1f\r\n", 13);
    EXPECT_EQ(trimmedControls(padded), "x y");
    EXPECT_EQ(trimmedBlanks(QByteArrayView(padded)), padded);
    EXPECT_EQ(trimmedBlanks(QByteArrayView(" \tx\r \t")), "x\r");
    EXPECT_EQ(trimmedBlanks(QStringView(u"\t x\u00a0 ")), u"x\u00a0");
    // DEL and bytes above 127 are not white space in either set.
    EXPECT_EQ(trimmedControls("\x7f" "a\xc3\xa9"), "\x7f" "a\xc3\xa9");
    EXPECT_TRUE(trimmedControls(" \r\n\t").isEmpty());
    EXPECT_TRUE(trimmedBlanks(QStringView(u" \t ")).isEmpty());
}
