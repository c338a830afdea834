#include "serve/dispatch.h"
#include "serve/dispatcher.h"
#include "serve/icons.h"
#include "serve/pageReply.h"
#include "gunzipTestTools.h"

#include <set>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

// Position of a phase in the dispatch order; -1 when the table lacks it.
int phaseIndex(std::string_view name)
{
    const auto phases = Tdispatch::phases();
    for (size_t i = 0; i < phases.size(); ++i)
        if (name == phases[i].name)
            return int(i);
    return -1;
}

// Asserts that each phase runs before all those after it in the list.
void expectOrder(std::initializer_list<std::string_view> names)
{
    int previous = -1;
    std::string_view previousName;
    for (std::string_view name : names) {
        const int at = phaseIndex(name);
        EXPECT_GE(at, 0) << name << " is missing";
        EXPECT_GT(at, previous) << name << " must run after " << previousName;
        previous = at;
        previousName = name;
    }
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

TEST(Phases, EachPhaseOnceWithItsOwnStep)
{
    const auto phases = Tdispatch::phases();
    ASSERT_FALSE(phases.empty());
    std::set<std::string> names;
    for (size_t i = 0; i < phases.size(); ++i) {
        ASSERT_NE(phases[i].name, nullptr);
        ASSERT_NE(phases[i].run, nullptr) << phases[i].name;
        EXPECT_TRUE(names.insert(phases[i].name).second) << phases[i].name << " listed twice";
        for (size_t j = 0; j < i; ++j)
            EXPECT_FALSE(phases[i].run == phases[j].run)
                << phases[i].name << " runs the step of " << phases[j].name;
    }
}

TEST(Phases, AccessChecksComeBeforeWhatTheyGuard)
{
    // A refused address is counted and stopped before its URL is even read.
    expectOrder({"clientAddress", "admission", "preReplyPage", "countHit", "parseUrl"});
    expectOrder({"malformedRequest", "countHit"});
    // Changes from other sites are refused before a session can log anyone in.
    for (std::string_view change : {"logout", "login", "signedLink"})
        expectOrder({"crossSiteCheck", "session", "formToken", change});
    // Wrong credentials are refused before the tree is looked at.
    expectOrder({"session", "credentials", "resolve", "missingNode", "existence", "permission"});
    // Nothing of a node is served before its access list is checked.
    for (std::string_view guarded : {"favicon", "uploadForms", "uploadResults", "templateSection",
                                     "archive", "fileList", "folderPage", "linkTarget", "fileDownload"})
        expectOrder({"permission", guarded});
    for (std::string_view guarded : {"archive", "fileList", "folderPage"})
        expectOrder({"browsable", guarded});
    for (std::string_view guarded : {"archive", "fileList", "fileDownload"})
        expectOrder({"referer", guarded});
    // The default file replaces a folder before it is checked.
    expectOrder({"defaultFile", "existence"});
    // A file is the last thing a request can be.
    EXPECT_EQ(phaseIndex("fileDownload"), int(Tdispatch::phases().size()) - 1);
}
