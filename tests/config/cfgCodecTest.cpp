// Encodings of accounts, bans, icon masks and packed data.
#include "config/cfgCodec.h"
#include "util/encodings.h"
#include "vfs/account.h"

#include <gtest/gtest.h>

TEST(CfgCodec, AccountFieldsAsWritten)
{
    Taccount a;
    a.user = QStringLiteral("bob");
    a.pwd = QStringLiteral("pw");
    EXPECT_EQ(encodeAccounts({a}), QStringLiteral("|login:Ym9iOnB3|enabled:yes|group:no|no-limits:no;"));
    a.redir = QStringLiteral("/a;b|c");
    a.link = {QStringLiteral("g1"), QStringLiteral("g2")};
    const QString enc = encodeAccounts({a});
    EXPECT_TRUE(enc.contains(QStringLiteral("|redir:/a%3Bb%7Cc|link:g1:g2;")));
    const QList<Taccount> back = decodeAccounts(enc);
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back[0].redir, QStringLiteral("/a%3Bb%7Cc")); // the same URL
    EXPECT_EQ(back[0].link, a.link);
}

TEST(CfgCodec, PlainAndBase64LoginsGiveTheSameAccount)
{
    const QString b64 = QString::fromLatin1(QStringLiteral("anna:se:cret").toUtf8().toBase64());
    for (const QString &login : {QStringLiteral("anna:se:cret"), b64}) {
        const QList<Taccount> list = decodeAccounts(QStringLiteral("|login:") + login + QStringLiteral("|bogus:1;"));
        ASSERT_EQ(list.size(), 1) << login.toStdString();
        EXPECT_EQ(list[0].user, QStringLiteral("anna"));
        EXPECT_EQ(list[0].pwd, QStringLiteral("se:cret"));
        EXPECT_TRUE(list[0].enabled); // a new account starts enabled
        EXPECT_EQ(list[0].wasUser, QStringLiteral("anna"));
    }
    EXPECT_TRUE(decodeAccounts(QStringLiteral(";;|enabled:yes;")).isEmpty());
}

TEST(CfgCodec, AccountTextsKeepALeadingByteOrderMark)
{
    // Read back as "bob", the account would take another one's name.
    Taccount a;
    a.user = QStringLiteral("\uFEFFbob");
    a.pwd = QStringLiteral("\uFEFFpw");
    a.notes = QStringLiteral("\uFEFFnote");
    const QList<Taccount> back = decodeAccounts(encodeAccounts({a}));
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(back[0].user, a.user);
    EXPECT_EQ(back[0].pwd, a.pwd);
    EXPECT_EQ(back[0].notes, a.notes);
}

TEST(CfgCodec, NotesArePackedOnlyWhenThatPays)
{
    const QString repetitive = QString(QStringLiteral("note ")).repeated(100);
    const QString shortNote = QStringLiteral("ünïque");
    for (const QString &notes : {repetitive, shortNote}) {
        const QString packed = packData(notes.toUtf8());
        const QByteArray raw = QByteArray::fromBase64(packed.toLatin1());
        if (notes == shortNote)
            EXPECT_EQ(raw, notes.toUtf8()); // stored as UTF-8 only
        else
            EXPECT_LT(raw.size(), notes.toUtf8().size() * 0.8);
        EXPECT_EQ(QString::fromUtf8(unpackData(packed)), notes);
    }
    // Bytes that look like the start of a zlib stream but are not one stay as they are.
    const QByteArray fake("\x78\x9c garbage", 10);
    EXPECT_EQ(unpackData(QString::fromLatin1(fake.toBase64())), fake);
}

TEST(CfgCodec, InflateRefusesTruncatedAndTrailingData)
{
    const QByteArray data = QByteArray("hello hello hello hello").repeated(50);
    const QByteArray z = zlibCompress(data, 3);
    QByteArray out;
    EXPECT_TRUE(zlibInflate(z, out));
    EXPECT_EQ(out, data);
    EXPECT_FALSE(zlibInflate(z.left(z.size() - 3), out));
    EXPECT_FALSE(zlibInflate(z + "x", out));
    EXPECT_FALSE(zlibInflate(z, out, 100)); // above the size cap
}

TEST(CfgCodec, BanCommentsKeepTheirPipes)
{
    const QList<Tban> bans = {{QStringLiteral("1.2.3.4"), QStringLiteral("a|b||c#d")},
                              {QStringLiteral("10.*"), QString()}};
    const QString enc = encodeBans(bans);
    EXPECT_EQ(enc, QStringLiteral("1.2.3.4#a\\$pipeb\\$pipe\\$pipec#d|10.*#|"));
    EXPECT_EQ(decodeBans(enc), bans);
    const QList<Tban> noHash = decodeBans(QStringLiteral("||5.5.5.5|"));
    ASSERT_EQ(noHash.size(), 1);
    EXPECT_EQ(noHash[0].ip, QStringLiteral("5.5.5.5"));
    EXPECT_TRUE(noHash[0].comment.isEmpty());
    // An entry whose escaped pipe sits in the address reads back the same.
    const QList<Tban> pipeInAddress = decodeBans(QStringLiteral("10.*a\\$pipeb#c|"));
    ASSERT_EQ(pipeInAddress.size(), 1);
    EXPECT_EQ(pipeInAddress[0].ip, QStringLiteral("10.*a|b"));
    EXPECT_EQ(decodeBans(encodeBans(pipeInAddress)), pipeInAddress);
}

TEST(CfgCodec, IconMasksAndImages)
{
    const QList<TiconMask> masks = {{QStringLiteral("*.txt;*.ini"), 12}, {QStringLiteral("*.iso"), 10000}};
    EXPECT_EQ(encodeIconMasks(masks), QStringLiteral("*.txt;*.ini|12||*.iso|10000||"));
    EXPECT_EQ(encodeIconMasks(decodeIconMasks(encodeIconMasks(masks))), encodeIconMasks(masks));
    const QList<TiconMask> bad = decodeIconMasks(QStringLiteral("*.a|x||*.b||"));
    ASSERT_EQ(bad.size(), 2);
    EXPECT_EQ(bad[0].index, 0);
    EXPECT_EQ(bad[1].index, 0);

    QByteArray gif("GIF89a");
    for (int b = 0; b < 256; ++b)
        gif.append(static_cast<char>(b)); // every byte, the code page's gaps included
    const QMap<int, QByteArray> images = {{10000, gif}, {10001, QByteArray(3000, 'x')}};
    EXPECT_EQ(decodeUserImages(encodeUserImages(images)), images);
}

TEST(CfgCodec, LineBreakEscapingRoundTrips)
{
    const QString texts[] = {QStringLiteral("a\r\nb\\c"), QStringLiteral("\\n literal"), QStringLiteral("x\\\\\r\ny")};
    for (const QString &t : texts) {
        const QString esc = escapeLineBreaks(t);
        EXPECT_FALSE(esc.contains(u'\n'));
        EXPECT_EQ(unescapeLineBreaks(esc), t);
    }
}
