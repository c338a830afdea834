#include "serve/dispatcher.h"
#include "serve/icons.h"
#include "serve/pageReply.h"

#include <zlib.h>

#include <string_view>

#include <gtest/gtest.h>

namespace {

QByteArray gunzip(const QByteArray &z)
{
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 15 + 16), Z_OK);
    QByteArray out(1 << 20, Qt::Uninitialized);
    zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(z.data()));
    zs.avail_in = uInt(z.size());
    zs.next_out = reinterpret_cast<Bytef *>(out.data());
    zs.avail_out = uInt(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    out.resize(qsizetype(zs.total_out));
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : QByteArray("<bad stream>");
}

} // namespace

TEST(Query, DecodesEntriesAndKeepsEncodedSeparators)
{
    TnameValueList q('=', "&");
    parseQuery("mode=section&id=style.css&a+b=c+d&x=%3D%26y&e=%C3%A9&flag&&empty=", q);
    EXPECT_EQ(q.value(QStringLiteral("mode")), QStringLiteral("section"));
    EXPECT_EQ(q.value(QStringLiteral("ID")), QStringLiteral("style.css"));
    EXPECT_EQ(q.value(QStringLiteral("a b")), QStringLiteral("c d"));
    EXPECT_EQ(q.value(QStringLiteral("x")), QStringLiteral("=&y"));
    EXPECT_EQ(q.value(QStringLiteral("e")), QString::fromUtf8("\xc3\xa9"));
    EXPECT_TRUE(q.contains(QStringLiteral("flag")));
    EXPECT_TRUE(q.contains(QStringLiteral("empty")));
    EXPECT_EQ(q.count(), 7);

    TnameValueList longOne('=', "&");
    parseQuery(QByteArray("v=") + QByteArray(5000, 'a'), longOne);
    EXPECT_EQ(longOne.value(QStringLiteral("v")).size(), 1000);
}

TEST(UserName, RefusesLongAndPathCharacters)
{
    EXPECT_TRUE(acceptableUserName(QString()));
    EXPECT_TRUE(acceptableUserName(QStringLiteral("alice.b-c_d@e")));
    EXPECT_TRUE(acceptableUserName(QString(100, u'a')));
    EXPECT_FALSE(acceptableUserName(QString(101, u'a')));
    for (const char16_t c : std::u16string_view(u"/\\:?*<>|")) {
        EXPECT_FALSE(acceptableUserName(QStringLiteral("a") + QChar(c) + QStringLiteral("b"))) << char(c);
    }
}

TEST(SpecialPage, ModesFollowTheName)
{
    EXPECT_EQ(specialPageMode(QStringLiteral("ban")), HRM_DENY);
    EXPECT_EQ(specialPageMode(QStringLiteral("deny")), HRM_DENY);
    EXPECT_EQ(specialPageMode(QStringLiteral("login")), HRM_DENY);
    EXPECT_EQ(specialPageMode(QStringLiteral("not found")), HRM_NOT_FOUND);
    EXPECT_EQ(specialPageMode(QStringLiteral("unauth")), HRM_UNAUTHORIZED);
    EXPECT_EQ(specialPageMode(QStringLiteral("overload")), HRM_OVERLOAD);
    EXPECT_EQ(specialPageMode(QStringLiteral("max contemp downloads")), HRM_OVERLOAD);
    EXPECT_EQ(specialPageMode(QStringLiteral("upload")), HRM_REPLY);
    EXPECT_EQ(specialPageMode(QStringLiteral("upload-results")), HRM_REPLY);
}

TEST(Gzip, RoundTrips)
{
    for (const QByteArray &in : {QByteArray("x"), QByteArray(100000, 'a'), QByteArray("<html>\0binary\xff", 14)}) {
        const QByteArray z = gzipBytes(in);
        ASSERT_GE(z.size(), 18);
        EXPECT_EQ(quint8(z[0]), 0x1f);
        EXPECT_EQ(quint8(z[1]), 0x8b);
        EXPECT_EQ(gunzip(z), in);
    }
}

TEST(Icons, NamedAndNumberedPictures)
{
    EXPECT_EQ(iconIndexFor(QStringLiteral("_link")), ICON_LINK);
    EXPECT_EQ(iconIndexFor(QStringLiteral("_file")), ICON_FILE);
    EXPECT_EQ(iconIndexFor(QStringLiteral("_folder")), ICON_FOLDER);
    EXPECT_EQ(iconIndexFor(QStringLiteral("_lock")), ICON_LOCK);
    EXPECT_EQ(iconIndexFor(QStringLiteral("_graph")), -2);
    EXPECT_EQ(iconIndexFor(QStringLiteral("12")), 12);
    EXPECT_EQ(iconIndexFor(QStringLiteral("0")), 0);
    for (const char *bad : {"x", "", "-1", "1e1", "38", "99999999999", " 1", "_other"})
        EXPECT_EQ(iconIndexFor(QString::fromLatin1(bad)), -1) << bad;
    QList<QByteArray> seen;
    for (int i = 0; i < builtinIconCount(); ++i) {
        const QByteArray g = iconGif(i);
        ASSERT_TRUE(g.startsWith("GIF89a")) << i;
        EXPECT_EQ(g[6], 16);
        EXPECT_EQ(g[8], 16);
        EXPECT_TRUE(g.endsWith(';'));
        EXPECT_FALSE(seen.contains(g)) << "picture " << i << " repeats another";
        seen.append(g);
    }
    EXPECT_TRUE(jqueryBytes().contains("jQuery v1.12.4"));
}
