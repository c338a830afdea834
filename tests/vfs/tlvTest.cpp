#include "vfs/tlv.h"

#include <gtest/gtest.h>

namespace {

QByteArray hdr(quint32 type, quint32 len)
{
    QByteArray out;
    Ttlv::putU32(out, type);
    Ttlv::putU32(out, len);
    return out;
}

} // namespace

TEST(Ttlv, RecordLayoutIsLittleEndianTypeLengthValue)
{
    EXPECT_EQ(Ttlv::record(0x01020304, "ab"), QByteArray("\x04\x03\x02\x01\x02\0\0\0ab", 10));
    EXPECT_EQ(Ttlv::intRecord(5, -2), QByteArray("\x05\0\0\0\x04\0\0\0\xFE\xFF\xFF\xFF", 12));
    // 1.5 as an IEEE double is 0x3FF8000000000000.
    EXPECT_EQ(Ttlv::doubleRecord(9, 1.5), QByteArray("\x09\0\0\0\x08\0\0\0\0\0\0\0\0\0\xF8\x3F", 16));
}

TEST(Ttlv, TextFlagOnlyForNonAscii)
{
    struct Case {
        QString text;
        quint32 type;
    } cases[] = {
        {QStringLiteral("plain.txt"), 2},
        {QString(), 2},
        {QString::fromUtf8("caf\xC3\xA9"), 2 | Ttlv::utf8Flag},
        {QString::fromUtf8("\xF0\x9F\x98\x80"), 2 | Ttlv::utf8Flag}, // surrogate pair
    };
    for (const Case &c : cases) {
        const QByteArray rec = Ttlv::textRecord(2, c.text);
        EXPECT_EQ(Ttlv::getU32(rec.constData()), c.type) << c.text.toStdString();
        Ttlv t;
        t.parse(rec);
        QString v;
        QByteArray raw;
        EXPECT_EQ(t.pop(v, raw), 2);
        EXPECT_EQ(v, c.text);
        EXPECT_EQ(raw, c.text.toUtf8());
    }
}

TEST(Ttlv, TextWithoutFlagIsEightBit)
{
    Ttlv t;
    t.parse(Ttlv::record(7, QByteArray("caf\xE9")));
    EXPECT_EQ(t.pop(), 7);
    EXPECT_EQ(t.lastText(), QString::fromUtf8("caf\xC3\xA9"));
}

TEST(Ttlv, NestedRegionsAndProgress)
{
    const QByteArray inner = Ttlv::intRecord(3, 42) + Ttlv::textRecord(2, "x");
    const QByteArray data = Ttlv::record(4, inner) + Ttlv::textRecord(2, "after");
    Ttlv t;
    t.parse(data);
    EXPECT_FALSE(t.down()); // nothing read yet
    EXPECT_FALSE(t.up());   // already at the top
    EXPECT_EQ(t.getTotal(), data.size());
    ASSERT_EQ(t.pop(), 4);
    ASSERT_TRUE(t.down());
    EXPECT_EQ(t.depth(), 1);
    EXPECT_EQ(t.getTheRest(), inner);
    ASSERT_EQ(t.pop(), 3);
    qint32 n = 0;
    ASSERT_TRUE(t.lastInt(n));
    EXPECT_EQ(n, 42);
    double d;
    EXPECT_FALSE(t.lastDouble(d)); // 4 bytes are not enough
    EXPECT_EQ(t.pop(), 2);
    EXPECT_TRUE(t.isOver());
    EXPECT_EQ(t.pop(), -1);
    ASSERT_TRUE(t.up());
    EXPECT_EQ(t.getCursor(), 8 + inner.size());
    QString v;
    QByteArray raw;
    EXPECT_EQ(t.pop(v, raw), 2);
    EXPECT_EQ(v, "after");
    EXPECT_EQ(t.pop(), -1);
    EXPECT_DOUBLE_EQ(t.getPerc(), 1.0);
    EXPECT_FALSE(t.isCorrupted());
}

TEST(Ttlv, DamageEndsTheRegionWithoutOverreading)
{
    struct Case {
        const char *what;
        QByteArray data;
        int firstType;
    } cases[] = {
        {"length past the end", hdr(2, 100) + "abc", -1},
        {"huge length", hdr(2, 0xFFFFFFFF) + "abc", -1},
        {"short trailing header", Ttlv::intRecord(3, 1) + QByteArray("\x02\0\0", 3), 3},
    };
    for (const Case &c : cases) {
        Ttlv t;
        t.parse(c.data);
        EXPECT_EQ(t.pop(), c.firstType) << c.what;
        if (c.firstType >= 0) {
            EXPECT_EQ(t.pop(), -1) << c.what;
        }
        EXPECT_TRUE(t.isCorrupted()) << c.what;
        EXPECT_TRUE(t.isOver()) << c.what;
    }
}

TEST(Ttlv, InnerRecordMayNotLeaveItsRegion)
{
    // The nested value claims 50 bytes while its region holds 8: the inner
    // region ends, the outer one is read on.
    const QByteArray inner = hdr(2, 50);
    const QByteArray data = Ttlv::record(4, inner) + Ttlv::intRecord(10, 7) + QByteArray(50, 'x');
    Ttlv t;
    t.parse(data);
    ASSERT_EQ(t.pop(), 4);
    ASSERT_TRUE(t.down());
    EXPECT_EQ(t.pop(), -1);
    EXPECT_TRUE(t.isCorrupted());
    ASSERT_TRUE(t.up());
    EXPECT_EQ(t.pop(), 10);
}

TEST(Ttlv, NestingDepthIsCapped)
{
    QByteArray data = Ttlv::intRecord(3, 0);
    for (int i = 0; i < Ttlv::maxDepth + 10; ++i)
        data = Ttlv::record(4, data);
    Ttlv t;
    t.parse(data);
    int entered = 0;
    while (t.pop() == 4 && t.down())
        ++entered;
    EXPECT_EQ(entered, Ttlv::maxDepth);
    EXPECT_TRUE(t.isCorrupted());
}
