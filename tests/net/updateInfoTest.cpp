#include "net/updateInfo.h"
#include "net/updater.h"

#include "qtPrinters.h"

#include <gtest/gtest.h>

namespace {

QString infoText(const QString &stableBuild, const QString &untestedBuild, bool complete = true)
{
    QString t = QStringLiteral("[last stable]\n 2.0 \n[last stable build]\n") + stableBuild
                + QStringLiteral("\n[last stable url]\n https://example.test/zof-stable \n"
                                 "[last stable sha256]\nABCDEF\n"
                                 "[last untested]\n2.1 beta\n[last untested build]\n") + untestedBuild
                + QStringLiteral("\n[last untested url]\nhttp://example.test/zof-untested\n");
    if (complete)
        t += QStringLiteral("[EOF]\n");
    return t;
}

} // namespace

TEST(UpdateInfo, IncompleteTextIsIgnored)
{
    EXPECT_FALSE(TupdateInfo::parse(infoText(QStringLiteral("500"), {}, false)).has_value());
    EXPECT_FALSE(TupdateInfo::parse(QString()).has_value());
    const auto info = TupdateInfo::parse(infoText(QStringLiteral("500"), {}));
    ASSERT_TRUE(info.has_value());
    // Sections come back trimmed.
    EXPECT_EQ(info->section(QStringLiteral("last stable")), QStringLiteral("2.0"));
    EXPECT_EQ(info->section(QStringLiteral("no such section")), QString());
}

TEST(UpdateInfo, BuildsAreComparedAsText)
{
    // As text, "1000" is not greater than "400"; "401" is.
    auto info = TupdateInfo::parse(infoText(QStringLiteral("1000"), QStringLiteral("401")));
    ASSERT_TRUE(info.has_value());
    EXPECT_TRUE(channelOffer(*info, QStringLiteral("stable"), QStringLiteral("400")).url.isEmpty());
    const TupdateOffer untested = channelOffer(*info, QStringLiteral("untested"), QStringLiteral("400"));
    EXPECT_EQ(untested.url, QStringLiteral("http://example.test/zof-untested"));
    EXPECT_EQ(untested.version, QStringLiteral("2.1 beta"));
    // The stable channel first, the untested one only when it offers nothing.
    EXPECT_EQ(bestOffer(*info, QStringLiteral("400")).url, QStringLiteral("http://example.test/zof-untested"));
    info = TupdateInfo::parse(infoText(QStringLiteral("500"), QStringLiteral("501")));
    const TupdateOffer best = bestOffer(*info, QStringLiteral("400"));
    EXPECT_EQ(best.url, QStringLiteral("https://example.test/zof-stable"));
    EXPECT_EQ(best.sha256, QStringLiteral("abcdef"));
    // The same build is not newer.
    EXPECT_TRUE(bestOffer(*info, QStringLiteral("501")).url.isEmpty());
}

TEST(UpdateInfo, OfferTextAndChecksums)
{
    const auto info = TupdateInfo::parse(infoText(QStringLiteral("500"), QStringLiteral("501")));
    ASSERT_TRUE(info.has_value());
    TupdateOffer o = channelOffer(*info, QStringLiteral("stable"), QStringLiteral("400"));
    EXPECT_EQ(offerText(o, QStringLiteral("1.0"), QStringLiteral("400")), QStringLiteral("2.0"));
    // A rebuild of the current version is named by its build numbers.
    EXPECT_EQ(offerText(o, QStringLiteral("2.0"), QStringLiteral("400")), QStringLiteral("Build #500 (current is #400)"));
    EXPECT_EQ(checksumFor(*info, QStringLiteral("https://example.test/zof-stable")), QStringLiteral("abcdef"));
    EXPECT_EQ(checksumFor(*info, QStringLiteral("http://example.test/zof-untested")), QString());
    EXPECT_EQ(checksumFor(*info, QString()), QString());
}

TEST(UpdateInfo, VersionNoticesByMask)
{
    const QString section = QStringLiteral(
        "ignored before any notice\n"
        "@*\n  to everyone \nsecond line\n"
        "@#400\nto build 400\n"
        "@#401\nto build 401\n"
        "@1.*\nto the 1 series\n"
        "@\nan empty mask opens nothing\n"
        "@2.*\nto the 2 series\n");
    const QStringList shown = versionNotices(section, QStringLiteral("1.0"), QStringLiteral("400"));
    EXPECT_EQ(shown, (QStringList{QStringLiteral("to everyone\rsecond line"), QStringLiteral("to build 400"),
                                  QStringLiteral("to the 1 series")}));
    EXPECT_EQ(versionNotices(section, QStringLiteral("2.5"), QStringLiteral("401")),
              (QStringList{QStringLiteral("to everyone\rsecond line"), QStringLiteral("to build 401"),
                           QStringLiteral("to the 2 series")}));
    EXPECT_TRUE(versionNotices(QString(), QStringLiteral("1.0"), QStringLiteral("400")).isEmpty());
}

TEST(UpdateInfo, AutomaticCheckEveryThirdOfADay)
{
    const double last = 46000.0;
    EXPECT_FALSE(autoCheckDue(last, last + 0.33));
    EXPECT_TRUE(autoCheckDue(last, last + 1.0 / 3));
    EXPECT_TRUE(autoCheckDue(0, last));
}

TEST(UpdateInfo, VersionLineOfANewProgram)
{
    EXPECT_TRUE(looksLikeVersionOutput(QStringLiteral("ZOF 9.9 (build 999)\n")));
    EXPECT_TRUE(looksLikeVersionOutput(QStringLiteral("warming up\nZOF 1.1\n")));
    EXPECT_FALSE(looksLikeVersionOutput(QStringLiteral("zof: unknown option --version\n")));
    EXPECT_FALSE(looksLikeVersionOutput(QStringLiteral("ZOF \n")));
    EXPECT_FALSE(looksLikeVersionOutput(QString()));
}
