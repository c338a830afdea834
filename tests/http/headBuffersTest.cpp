// Head buffers kept between replies: only room nobody else holds comes back.

#include "http/headBuffers.h"

#include <gtest/gtest.h>

TEST(HeadBuffers, RoomComesBackOnlyWhenSmallAndUnshared)
{
    QByteArray a = headBuffers::take(300);
    EXPECT_TRUE(a.isEmpty());
    EXPECT_GE(a.capacity(), 300);
    a = "HTTP/1.1 200 OK\r\n";
    const char *room = a.constData();
    headBuffers::giveBack(a);
    EXPECT_TRUE(a.isNull());
    // The next take reuses that room, empty again.
    QByteArray b = headBuffers::take(100);
    EXPECT_EQ(b.constData(), room);
    EXPECT_TRUE(b.isEmpty());

    // A buffer another holder shares stays theirs, untouched.
    b = "Set-Cookie: s=1\r\n";
    const QByteArray holder = b;
    headBuffers::giveBack(b);
    EXPECT_TRUE(b.isNull());
    EXPECT_EQ(holder, QByteArray("Set-Cookie: s=1\r\n"));
    QByteArray c = headBuffers::take(10);
    EXPECT_NE(c.constData(), holder.constData());

    // A big one is let go, and so is a null one.
    QByteArray big(64 * 1024, 'x');
    headBuffers::giveBack(big);
    QByteArray none;
    headBuffers::giveBack(none);
    QByteArray d = headBuffers::take(10);
    EXPECT_LT(d.capacity(), 64 * 1024);
}
