#include "net/replyText.h"

#include "qtPrinters.h"

#include <gtest/gtest.h>

TEST(ReplyText, Utf8OnlyWhenTheCharsetSaysSo)
{
    EXPECT_TRUE(declaresUtf8(QStringLiteral("text/html; charset=utf-8")));
    EXPECT_TRUE(declaresUtf8(QStringLiteral("text/html;charset=UTF-8")));
    EXPECT_TRUE(declaresUtf8(QStringLiteral("text/plain; charset=Utf-8 ; format=flowed")));
    EXPECT_TRUE(declaresUtf8(QStringLiteral("text/plain; CHARSET=utf-8  ")));
    EXPECT_FALSE(declaresUtf8(QStringLiteral("text/html")));
    EXPECT_FALSE(declaresUtf8(QStringLiteral("text/html; charset=iso-8859-1")));
    EXPECT_FALSE(declaresUtf8(QStringLiteral("text/html; charset=utf-8x")));
    // The parameter needs its ";": a bare word is no parameter.
    EXPECT_FALSE(declaresUtf8(QStringLiteral("charset=utf-8")));
}

TEST(ReplyText, BodyDecodedOrTakenByteForByte)
{
    const QByteArray body = QStringLiteral("caf\u00e9").toUtf8(); // 5 bytes
    EXPECT_EQ(replyBodyText(body, QStringLiteral("text/plain; charset=utf-8")), QStringLiteral("caf\u00e9"));
    const QString raw = replyBodyText(body, QStringLiteral("text/plain"));
    ASSERT_EQ(raw.size(), 5);
    EXPECT_EQ(raw.at(3).unicode(), 0xC3);
    EXPECT_EQ(raw.at(4).unicode(), 0xA9);
}

TEST(ReplyText, RangeHeader)
{
    EXPECT_TRUE(rangeHeader(0, -1).isEmpty());
    EXPECT_EQ(rangeHeader(10, 5), QByteArray("bytes=10-14"));
    EXPECT_EQ(rangeHeader(0, 1), QByteArray("bytes=0-0"));
    EXPECT_EQ(rangeHeader(7, -1), QByteArray("bytes=7-"));
    EXPECT_EQ(rangeHeader(-3, 4), QByteArray("bytes=0-3"));
}
