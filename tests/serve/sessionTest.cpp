#include "serve/session.h"
#include "util/encodings.h"

#include <gtest/gtest.h>

#include <QSet>

TEST(SessionId, FormatAndUniqueness)
{
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString id = newSessionId();
        EXPECT_EQ(id.size(), 22);
        EXPECT_TRUE(usableSessionId(id)) << id.toStdString();
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200);
}

TEST(SessionId, Usable)
{
    const struct { const char *id; bool ok; } cases[] = {
        {"abc", false}, {"abcdefghi", false}, {"abcdefghij", true}, {"abcdefghi+", false},
        {"ABCdef0123456789", true}, {"abcdefghij\xc3\xa9", false}, {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(usableSessionId(QString::fromUtf8(c.id)), c.ok) << c.id;
    EXPECT_FALSE(usableSessionId(QString(200, u'a')));
}

TEST(SessionTable, CreateFindRemovePurge)
{
    TsessionTable t;
    TsessionEntry *e = t.create(QStringLiteral("127.0.0.1"), QStringLiteral("abcdefghijkl"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->ip, u"127.0.0.1");
    EXPECT_DOUBLE_EQ(e->s.ttl, 1.0);
    EXPECT_FALSE(t.create(QStringLiteral("::1"), QStringLiteral("abcdefghijkl")));
    TsessionEntry *fresh = t.create(QStringLiteral("::1"));
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(usableSessionId(fresh->s.id));
    EXPECT_EQ(t.size(), 2);
    t.find(QStringLiteral("abcdefghijkl"))->s.expires = now() - 1;
    EXPECT_EQ(t.purge(now()), 1);
    EXPECT_FALSE(t.find(QStringLiteral("abcdefghijkl")));
    EXPECT_TRUE(t.find(fresh->s.id));
    t.remove(fresh->s.id);
    EXPECT_EQ(t.size(), 0);
}

TEST(SessionTable, BoundedDropsAnonymousEarliestFirst)
{
    TsessionTable t;
    constexpr qsizetype cap = 1000;
    t.setLimits(cap, cap);
    const QString named = QStringLiteral("namedsession0");
    TsessionEntry *n = t.create(QStringLiteral("a"), named);
    n->s.user = QStringLiteral("bob");
    n->s.expires = 1; // earliest of all, yet bound to a user
    for (qsizetype i = 1; i < cap; ++i)
        t.create(QStringLiteral("a") + QString::number(i % 50))->s.expires = 10 + double(i);
    const QString early = QStringLiteral("earlysession0");
    EXPECT_EQ(t.size(), cap);
    t.create(QStringLiteral("a"), early)->s.expires = 1e9;
    EXPECT_LE(t.size(), cap);
    EXPECT_TRUE(t.find(named));
    EXPECT_TRUE(t.find(early));
    // A flood many times the cap never reaches the logged-in session.
    for (qsizetype i = 0; i < 5 * cap; ++i)
        t.create(QStringLiteral("b") + QString::number(i % 97));
    EXPECT_LE(t.size(), cap);
    EXPECT_TRUE(t.find(named));
}

TEST(SessionTable, OneAddressKeepsFewAnonymousSessions)
{
    TsessionTable t;
    t.setLimits(0, 5); // 0: the default total
    const QString other = t.create(QStringLiteral("10.0.0.2"))->s.id;
    const QString named = t.create(QStringLiteral("10.0.0.1"))->s.id;
    t.find(named)->s.user = QStringLiteral("bob");
    QStringList ids;
    for (int i = 0; i < 12; ++i)
        ids << t.create(QStringLiteral("10.0.0.1"))->s.id;
    // The newest five of the flooding address stay, its oldest went.
    int kept = 0;
    for (const QString &id : std::as_const(ids))
        kept += t.find(id) ? 1 : 0;
    EXPECT_EQ(kept, 5);
    EXPECT_FALSE(t.find(ids.first()));
    EXPECT_TRUE(t.find(ids.last()));
    EXPECT_TRUE(t.find(other));
    EXPECT_TRUE(t.find(named));
    // A whole IPv6 /64 network counts as one address.
    for (int i = 0; i < 12; ++i)
        t.create(QStringLiteral("2001:db8:1:2::") + QString::number(i, 16));
    EXPECT_EQ(t.size(), 1 + 1 + 5 + 5);
    // After a purge the address starts afresh.
    t.purge(now() + 2);
    EXPECT_EQ(t.size(), 0);
    for (int i = 0; i < 5; ++i)
        t.create(QStringLiteral("10.0.0.1"));
    EXPECT_EQ(t.size(), 5);
}

TEST(SessionTable, AddressKey)
{
    EXPECT_EQ(sessionAddressKey(QStringLiteral("10.1.2.3")), u"10.1.2.3");
    EXPECT_EQ(sessionAddressKey(QStringLiteral("2001:db8:1:2::5")),
              sessionAddressKey(QStringLiteral("2001:0db8:0001:0002:ffff::1")));
    EXPECT_NE(sessionAddressKey(QStringLiteral("2001:db8:1:2::5")), sessionAddressKey(QStringLiteral("2001:db8:1:3::5")));
    EXPECT_EQ(sessionAddressKey(QStringLiteral("not:an:address")), u"not:an:address");
}

TEST(Login, PasswordForms)
{
    const QString pwd = QStringLiteral("s\u00e9cret");
    const QString sid = QStringLiteral("abcdefghijklmnop");
    const QString sha = sha256Hex(sha256Hex(pwd) + sid);
    const QString md5 = md5Hex(md5Hex(pwd) + sid);
    const struct { QString plain, sha, md5; bool ok; } cases[] = {
        {pwd, {}, {}, true},
        {QStringLiteral("wrong"), {}, {}, false},
        {QStringLiteral("wrong"), sha, {}, true},
        {QStringLiteral("wrong"), {}, md5, true},
        {{}, QStringLiteral("00"), md5, true},
        {{}, sha256Hex(sha256Hex(pwd) + QStringLiteral("other")), {}, false},
        {{}, {}, {}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(loginPasswordMatches(pwd, sid, c.plain, c.sha, c.md5), c.ok) << c.plain.toStdString();
    EXPECT_TRUE(loginPasswordMatches(QString(), sid, QString(), {}, {})); // empty password account
}

TEST(SignedLink, Signature)
{
    const QByteArray signedPart = "u=bob&e=46000.5";
    const QByteArray good = signedPart + "&s2=" + sha256Hex(QString::fromLatin1(signedPart) + QStringLiteral("pw")).toLatin1();
    EXPECT_TRUE(signatureMatches(good, QStringLiteral("pw")));
    EXPECT_FALSE(signatureMatches(good, QStringLiteral("pX")));
    QByteArray altered = good;
    altered.replace("bob", "bib");
    EXPECT_FALSE(signatureMatches(altered, QStringLiteral("pw")));
    EXPECT_FALSE(signatureMatches(good + "&x=1", QStringLiteral("pw")));
    EXPECT_FALSE(signatureMatches(signedPart, QStringLiteral("pw")));
}

TEST(Login, RedirectTarget)
{
    EXPECT_EQ(redirectTarget(QStringLiteral("sub\\dir")), u"/sub/dir");
    EXPECT_EQ(redirectTarget(QStringLiteral("/a")), u"/a");
    EXPECT_EQ(redirectTarget(QStringLiteral("http://x/y")), u"http://x/y");
    EXPECT_EQ(redirectTarget(QString()), QString());
}

TEST(Login, ConstTimeEqual)
{
    EXPECT_TRUE(constTimeEqual(QStringLiteral("abc"), QStringLiteral("abc")));
    EXPECT_FALSE(constTimeEqual(QStringLiteral("abc"), QStringLiteral("abd")));
    EXPECT_FALSE(constTimeEqual(QStringLiteral("abc"), QStringLiteral("abcd")));
}
