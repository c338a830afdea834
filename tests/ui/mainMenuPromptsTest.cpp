// The value boxes of the main menu: what each accepts, what it refuses and
// says, when it asks again, and the captions that follow the values.
#include "app/services.h"
#include "config/options.h"
#include "http/speedLimiter.h"
#include "mainMenuScriptedPrompt.h"
#include "qtPrinters.h"
#include "serve/admission.h"
#include "serve/serve.h"
#include "ui/valuePrompts.h"

#include <gtest/gtest.h>

TEST(ValuePrompts, SpeedLimitZeroBlocksAndEmptyDisables)
{
    Tservices services;
    TscriptedPromptScope p;
    EXPECT_EQ(speedLimitCaption(false), QStringLiteral("Speed limit (disabled)"));

    p->texts = {QStringLiteral(" 12.5 ")};
    ASSERT_TRUE(askSpeedLimit(false));
    EXPECT_EQ(opts().speedLimit, 12.5);
    EXPECT_EQ(serve().globalLimiter().maxSpeed, 12500);
    EXPECT_EQ(speedLimitCaption(false), QStringLiteral("Speed limit (12.5 kB/s)"));
    EXPECT_TRUE(p->messages.isEmpty());
    ASSERT_EQ(p->boxes.size(), 1);
    EXPECT_EQ(p->boxes[0].title, QStringLiteral("Set limit"));
    EXPECT_EQ(p->boxes[0].text, QStringLiteral("Max bandwidth (KB/s).\rLeave blank to get no limits.\r"));
    EXPECT_EQ(p->boxes[0].initial, QString()); // shown empty while it was off

    // Zero is a limit that lets nothing through, and the operator is told.
    p->texts = {QStringLiteral("0")};
    ASSERT_TRUE(askSpeedLimit(false));
    EXPECT_EQ(serve().globalLimiter().maxSpeed, 0);
    EXPECT_EQ(p->boxes.last().initial, QStringLiteral("12.5"));
    EXPECT_EQ(p->messages, QStringList{QStringLiteral("Zero is an effective limit.\rTo disable instead, leave empty.")});
    EXPECT_EQ(speedLimitCaption(false), QStringLiteral("Speed limit (0.0 kB/s)"));

    // Empty removes it.
    p->texts = {QString()};
    ASSERT_TRUE(askSpeedLimit(false));
    EXPECT_EQ(opts().speedLimit, -1);
    EXPECT_EQ(serve().globalLimiter().maxSpeed, TspeedLimiter::unlimited);
    EXPECT_EQ(speedLimitCaption(false), QStringLiteral("Speed limit (disabled)"));

    // Not a number: refused, nothing changes.
    p->messages.clear();
    p->texts = {QStringLiteral("fast")};
    EXPECT_FALSE(askSpeedLimit(false));
    EXPECT_EQ(p->messages, QStringList{QStringLiteral("Invalid value")});
    EXPECT_EQ(opts().speedLimit, -1);
    // Cancel changes nothing either.
    p->texts = {std::nullopt};
    EXPECT_FALSE(askSpeedLimit(false));
}

TEST(ValuePrompts, PauseStreamingHoldsTheSharedLimiterUntilALimitIsSet)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().speedLimit = 40;
    setStreamingPaused(true);
    EXPECT_TRUE(streamingPaused());
    EXPECT_EQ(serve().globalLimiter().maxSpeed, 0);
    setStreamingPaused(false);
    EXPECT_EQ(serve().globalLimiter().maxSpeed, 40000);
    // A new global limit ends the pause.
    setStreamingPaused(true);
    p->texts = {QStringLiteral("7")};
    ASSERT_TRUE(askSpeedLimit(false));
    EXPECT_FALSE(streamingPaused());
    EXPECT_EQ(serve().globalLimiter().maxSpeed, 7000);
}

TEST(ValuePrompts, PerAddressSpeedLimitShowsOnlyAPositiveValue)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().speedLimitIp = 0;
    p->texts = {QStringLiteral("3")};
    ASSERT_TRUE(askSpeedLimit(true));
    EXPECT_EQ(p->boxes[0].initial, QString());
    EXPECT_EQ(p->boxes[0].text, QStringLiteral("Max bandwidth for single address (KB/s).\rLeave blank to get no limits."));
    EXPECT_EQ(opts().speedLimitIp, 3);
    EXPECT_EQ(speedLimitCaption(true), QStringLiteral("Speed limit for single address (3.0 kB/s)"));
    p->texts = {QString()};
    ASSERT_TRUE(askSpeedLimit(true));
    EXPECT_EQ(p->boxes[1].initial, QStringLiteral("3"));
    EXPECT_EQ(speedLimitCaption(true), QStringLiteral("Speed limit for single address (disabled)"));
}

TEST(ValuePrompts, AutoSaveRefusesShortIntervalsAndAsksAgain)
{
    Tservices services;
    TscriptedPromptScope p;
    p->texts = {QStringLiteral("3"), QStringLiteral("soon"), QStringLiteral(" 30 ")};
    ASSERT_TRUE(askAutoSaveInterval());
    EXPECT_EQ(p->messages, (QStringList{QStringLiteral("We don't accept less than 5"), QStringLiteral("Invalid value")}));
    ASSERT_EQ(p->boxes.size(), 3);
    EXPECT_EQ(p->boxes[0].title, QStringLiteral("Auto-save file system"));
    EXPECT_EQ(p->boxes[0].text, QStringLiteral("Auto-save file system.\rSpecify in seconds.\rLeave blank to disable."));
    // The box comes again with what was typed.
    EXPECT_EQ(p->boxes[1].initial, QStringLiteral("3"));
    EXPECT_EQ(opts().autoSaveVfsEvery, 30);
    EXPECT_EQ(autoSaveCaption(), QStringLiteral("Auto save every: 30 seconds"));

    p->texts = {QString()};
    ASSERT_TRUE(askAutoSaveInterval());
    EXPECT_EQ(p->boxes.last().initial, QStringLiteral("30"));
    EXPECT_EQ(opts().autoSaveVfsEvery, 0);
    EXPECT_EQ(autoSaveCaption(), QStringLiteral("Auto save every: disabled"));
}

TEST(ValuePrompts, CountLimitsTakeEmptyAsOffAndRefuseNegatives)
{
    Tservices services;
    TscriptedPromptScope p;
    EXPECT_EQ(parseCount(QStringLiteral(" 12 ")), 12);
    EXPECT_EQ(parseCount(QString()), 0);
    EXPECT_EQ(parseCount(QStringLiteral("-1")), std::nullopt);
    EXPECT_EQ(parseCount(QStringLiteral("1e3")), std::nullopt);

    EXPECT_EQ(countLimitCaption(CL_MAX_DOWNLOADS), QStringLiteral("Max simultaneous downloads (disabled)"));
    p->texts = {QStringLiteral("4")};
    ASSERT_TRUE(askCountLimit(CL_MAX_DOWNLOADS));
    EXPECT_EQ(opts().maxContemporaryDls, 4);
    EXPECT_EQ(countLimitCaption(CL_MAX_DOWNLOADS), QStringLiteral("Max simultaneous downloads (4)"));
    EXPECT_EQ(p->boxes[0].text, QStringLiteral("Max simultaneous downloads\rLeave blank to get no limits."));
    EXPECT_EQ(p->boxes[0].initial, QString());

    p->texts = {QStringLiteral("-2")};
    EXPECT_FALSE(askCountLimit(CL_MAX_DOWNLOADS));
    EXPECT_EQ(p->messages, QStringList{QStringLiteral("Invalid value")});
    EXPECT_EQ(opts().maxContemporaryDls, 4);
    EXPECT_EQ(p->boxes[1].initial, QStringLiteral("4"));

    p->texts = {QStringLiteral("")};
    ASSERT_TRUE(askCountLimit(CL_MAX_DOWNLOADS));
    EXPECT_EQ(opts().maxContemporaryDls, 0);
}

TEST(ValuePrompts, CountLimitWarningsNameWhatExceedsTheNewLimit)
{
    auto conn = [](const char *a, bool dl) {
        TadmissionConn c;
        c.address = QString::fromLatin1(a);
        c.downloading = dl;
        return c;
    };
    const QList<TadmissionConn> open{conn("10.0.0.1", true), conn("10.0.0.2", false), conn("10.0.0.1", true),
                                     conn("10.0.0.3", true), conn("10.0.0.2", false)};
    EXPECT_EQ(countLimitWarning(CL_MAX_CONNECTIONS, 4, open),
              QStringLiteral("In this moment there are 5 active connections"));
    EXPECT_EQ(countLimitWarning(CL_MAX_CONNECTIONS, 5, open), QString());
    EXPECT_EQ(countLimitWarning(CL_MAX_CONNECTIONS, 0, open), QString()); // off
    EXPECT_EQ(countLimitWarning(CL_MAX_DOWNLOADS, 2, open), QStringLiteral("In this moment there are 3 active downloads"));
    EXPECT_EQ(countLimitWarning(CL_MAX_DOWNLOADS, 3, open), QString());
    EXPECT_EQ(countLimitWarning(CL_MAX_CONNECTIONS_BY_IP, 1, open),
              QStringLiteral("The following addresses exceed the limit:\r10.0.0.1\r10.0.0.2"));
    EXPECT_EQ(countLimitWarning(CL_MAX_DOWNLOADS_BY_IP, 1, open),
              QStringLiteral("The following addresses exceed the limit:\r10.0.0.1"));
    EXPECT_EQ(countLimitWarning(CL_MAX_ADDRESSES, 2, open),
              QStringLiteral("In this moment there are 3 different addresses"));
    EXPECT_EQ(countLimitWarning(CL_MAX_ADDRESSES_DOWNLOADING, 1, open),
              QStringLiteral("In this moment there are 2 different addresses downloading"));
    EXPECT_EQ(countLimitWarning(CL_MAX_ADDRESSES_DOWNLOADING, 2, open), QString());
}

TEST(ValuePrompts, OtherValuesFollowTheirOwnRules)
{
    Tservices services;
    TscriptedPromptScope p;
    // Graph rate: empty is 10, below 1 is 1.
    opts().graphRate = 4;
    p->texts = {QString()};
    ASSERT_TRUE(askGraphRate());
    EXPECT_EQ(opts().graphRate, 10);
    p->texts = {QStringLiteral("-3")};
    ASSERT_TRUE(askGraphRate());
    EXPECT_EQ(opts().graphRate, 1);
    EXPECT_EQ(graphRateCaption(), QStringLiteral("Graph refresh rate: 1 (tenths of second)"));

    // Minimum disk space: any integer, empty is 0; the caption shows it above 0.
    p->texts = {QStringLiteral("250")};
    ASSERT_TRUE(askMinDiskSpace());
    EXPECT_EQ(minDiskSpaceCaption(), QStringLiteral("Minimum disk space...       (250 MB)"));
    p->texts = {QStringLiteral("lots")};
    EXPECT_FALSE(askMinDiskSpace());
    EXPECT_EQ(p->messages.last(), QStringLiteral("Invalid value"));
    p->texts = {QString()};
    ASSERT_TRUE(askMinDiskSpace());
    EXPECT_EQ(minDiskSpaceCaption(), QStringLiteral("Minimum disk space..."));

    // Fingerprints on addition.
    p->texts = {QStringLiteral("2048")};
    ASSERT_TRUE(askAutoFingerprint());
    EXPECT_EQ(autoFingerprintCaption(), QStringLiteral("Create fingerprint on addition under 2048 KB"));

    // Texts: the realm is trimmed, the partial-upload suffix kept as typed.
    p->texts = {QStringLiteral("  my realm  "), QStringLiteral(" .part")};
    ASSERT_TRUE(askLoginRealm());
    ASSERT_TRUE(askRenamePartialUploads());
    EXPECT_EQ(opts().loginRealm, QStringLiteral("my realm"));
    EXPECT_EQ(opts().renamePartialUploads, QStringLiteral(" .part"));

    // Custom addresses: one per line, empty lines dropped.
    p->texts = {QStringLiteral("1.2.3.4\r\n\r\nexample.org\n")};
    ASSERT_TRUE(askCustomAddresses());
    EXPECT_EQ(opts().customIp, (QStringList{QStringLiteral("1.2.3.4"), QStringLiteral("example.org")}));
    EXPECT_EQ(p->boxes.last().title, QStringLiteral("Custom IP addresses"));
}
