#include "config/options.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "serve/admission.h"
#include "serve/perIp.h"
#include "serve/serve.h"
#include "serve/timeouts.h"
#include "vfs/file.h"

#include <gtest/gtest.h>

namespace {

const QString A = QStringLiteral("10.0.0.1");
const QString B = QStringLiteral("10.0.0.2");
const QString C = QStringLiteral("10.0.0.3");

QList<TadmissionConn> conns(std::initializer_list<QString> addresses)
{
    QList<TadmissionConn> out;
    for (const QString &a : addresses)
        out.append({a, false, nullptr});
    return out;
}

// Options with every limit off but the ones a case sets.
Toptions noLimits()
{
    Toptions o;
    o.maxConnections = o.maxConnectionsByIp = o.maxIps = 0;
    o.maxContemporaryDls = o.maxContemporaryDlsIp = o.maxIpsDownloading = 0;
    o.preventLeeching = false;
    return o;
}

} // namespace

TEST(Overload, TableOfLimitsAndConnections)
{
    struct Tcase
    {
        const char *what;
        qint64 maxConn, maxByIp, maxIps;
        QList<TadmissionConn> open; // including the one checked (address A)
        bool overloaded;
    };
    const QList<Tcase> cases = {
        {"no limits, many connections", 0, 0, 0, conns({A, A, A, B, C}), false},
        {"negative limits are no limits", -1, -1, -1, conns({A, A, B}), false},
        {"max-connections reached, not exceeded", 2, 0, 0, conns({B, A}), false},
        {"max-connections exceeded", 2, 0, 0, conns({B, C, A}), true},
        {"by address counts only that address", 0, 2, 0, conns({B, B, B, A, A}), false},
        {"by address exceeded", 0, 2, 0, conns({A, B, A, A}), true},
        {"distinct addresses within", 0, 0, 2, conns({A, A, B, B}), false},
        {"distinct addresses exceeded", 0, 0, 2, conns({B, C, A}), true},
        {"one limit of three is enough", 100, 100, 1, conns({B, A}), true},
    };
    for (const Tcase &c : cases) {
        Toptions o = noLimits();
        o.maxConnections = c.maxConn;
        o.maxConnectionsByIp = c.maxByIp;
        o.maxIps = c.maxIps;
        EXPECT_EQ(isOverloaded(o, c.open, A), c.overloaded) << c.what;
    }
}

TEST(Ban, FirstMatchingRuleGivesTheReason)
{
    const QList<Tban> bans = {
        {QStringLiteral("192.168.1.*"), QStringLiteral("lan")},
        {QStringLiteral("10.0.0.1-10.0.0.5"), QStringLiteral("range")},
        {QStringLiteral("10.*"), QStringLiteral("wide")},
        {QString(), QStringLiteral("empty mask bans nobody")},
        {QStringLiteral("::1"), QString()},
    };
    struct Tcase
    {
        QString address;
        const char *reason; // null: not banned
    };
    const QList<Tcase> cases = {
        {QStringLiteral("192.168.1.77"), "lan"},
        {QStringLiteral("10.0.0.3"), "range"},
        {QStringLiteral("10.0.0.9"), "wide"},
        {QStringLiteral("172.16.0.1"), nullptr},
        {QStringLiteral("::1"), ""},
        {QString(), nullptr},
    };
    for (const Tcase &c : cases) {
        const Tban *b = findBan(bans, c.address);
        if (!c.reason) {
            EXPECT_EQ(b, nullptr) << c.address.toStdString();
            continue;
        }
        ASSERT_NE(b, nullptr) << c.address.toStdString();
        EXPECT_EQ(b->comment, QString::fromLatin1(c.reason)) << c.address.toStdString();
    }
    EXPECT_EQ(findBan({}, A), nullptr);
}

TEST(DownloadLimits, RulesInTheirOrder)
{
    const TfilePtr f1 = Tfile::create(QStringLiteral("/srv/one.bin"));
    const TfilePtr f2 = Tfile::create(QStringLiteral("/srv/two.bin"));
    const TfilePtr f1again = Tfile::create(QStringLiteral("/srv/one.bin")); // same disk path
    auto dl = [](const QString &a, const Tfile *f) { return TadmissionConn{a, true, f}; };
    auto idle = [](const QString &a, const Tfile *f) { return TadmissionConn{a, false, f}; };

    struct Tcase
    {
        const char *what;
        qint64 maxDls, maxDlsIp, maxIpsDl;
        bool leech;
        QList<TadmissionConn> others;
        const Tfile *asked;
        const char *refusal;
    };
    const QList<Tcase> cases = {
        {"nothing set", 0, 0, 0, false, {dl(A, f1.data()), dl(A, f1.data()), dl(B, f2.data())}, f1.data(), ""},
        {"overall at the limit", 2, 0, 0, false, {dl(B, f2.data())}, f1.data(), ""},
        {"overall exceeded", 2, 0, 0, false, {dl(B, f2.data()), dl(C, f2.data())}, f1.data(),
         "Max simultaneous downloads"},
        {"connections not replying do not count", 1, 0, 0, false, {idle(B, f2.data()), idle(A, f1.data())},
         f1.data(), ""},
        {"per address, others do not count", 0, 1, 0, false, {dl(B, f2.data()), dl(C, f2.data())}, f1.data(),
         ""},
        {"per address exceeded", 0, 1, 0, false, {dl(A, f2.data())}, f1.data(), "Max simultaneous downloads"},
        {"addresses downloading, same address again", 0, 0, 1, false, {dl(A, f2.data())}, f1.data(), ""},
        {"addresses downloading exceeded", 0, 0, 2, false, {dl(B, f2.data()), dl(C, f2.data())}, f1.data(),
         "Max simultaneous addresses downloading"},
        {"leeching: other file", 0, 0, 0, true, {dl(A, f2.data())}, f1.data(), ""},
        {"leeching: same file from another address", 0, 0, 0, true, {dl(B, f1.data())}, f1.data(), ""},
        {"leeching: same node", 0, 0, 0, true, {dl(A, f1.data())}, f1.data(), "Leeching"},
        {"leeching: same disk path", 0, 0, 0, true, {dl(A, f1again.data())}, f1.data(), "Leeching"},
        {"leeching off", 0, 0, 0, false, {dl(A, f1.data())}, f1.data(), ""},
        {"first rule wins", 1, 1, 1, true, {dl(A, f1.data())}, f1.data(), "Max simultaneous downloads"},
        {"addresses before leeching", 0, 0, 1, true, {dl(B, f1.data()), dl(A, f1.data())}, f1.data(),
         "Max simultaneous addresses downloading"},
    };
    for (const Tcase &c : cases) {
        Toptions o = noLimits();
        o.maxContemporaryDls = c.maxDls;
        o.maxContemporaryDlsIp = c.maxDlsIp;
        o.maxIpsDownloading = c.maxIpsDl;
        o.preventLeeching = c.leech;
        EXPECT_EQ(downloadRefusal(o, c.others, A, c.asked), QString::fromLatin1(c.refusal)) << c.what;
    }
}

TEST(SpeedLimit, KilobytesToLimiterBytes)
{
    struct Tcase
    {
        double kb;
        qint64 bytes;
    };
    const QList<Tcase> cases = {
        {-1, TspeedLimiter::unlimited},      {-0.001, TspeedLimiter::unlimited},
        {0, 0},                              {1, 1000},
        {0.0004, 0},                         {0.0006, 1},
        {12.3456, 12346},                    {2147483.646, 2147483646},
        {2147483.647, TspeedLimiter::unlimited}, {1e12, TspeedLimiter::unlimited},
        {std::nan(""), TspeedLimiter::unlimited},
    };
    for (const Tcase &c : cases)
        EXPECT_EQ(speedLimitBytes(c.kb), c.bytes) << c.kb;
}

TEST(SpeedLimit, GlobalLimiterFollowsTheOption)
{
    Tserve &s = serve();
    const double before = opts().speedLimit;
    opts().speedLimit = 5;
    s.globalLimiter().availableBandwidth = 100000;
    syncGlobalLimit(s);
    EXPECT_EQ(s.globalLimiter().maxSpeed, 5000);
    EXPECT_EQ(s.globalLimiter().availableBandwidth, 5000); // lowered, never raised
    opts().speedLimit = -1;
    syncGlobalLimit(s);
    EXPECT_EQ(s.globalLimiter().maxSpeed, TspeedLimiter::unlimited);
    EXPECT_EQ(s.globalLimiter().availableBandwidth, 5000);
    EXPECT_TRUE(s.srv().limiters.contains(&s.globalLimiter()));
    opts().speedLimit = before;
}

TEST(PerIp, CustomisedAddressesAreBounded)
{
    Tserve &s = serve();
    TperIp t;
    t.setAddressLimit(s, A, 3);
    t.setAddressLimit(s, B, -1);
    EXPECT_EQ(t.customLimit(A), 3000);
    EXPECT_EQ(t.customLimit(B), TspeedLimiter::unlimited);
    EXPECT_EQ(t.customLimit(C), -1);
    EXPECT_TRUE(t.isCustomized(A));
    t.clearAddressLimit(s, A);
    EXPECT_FALSE(t.isCustomized(A));
    for (int i = 0; i < TperIp::maxCustomized + 5; ++i)
        t.setAddressLimit(s, QStringLiteral("10.1.%1.%2").arg(i / 250).arg(i % 250), 1);
    EXPECT_EQ(t.customizedCount(), TperIp::maxCustomized);
    EXPECT_FALSE(t.isCustomized(B)); // the oldest went first
    EXPECT_TRUE(t.isCustomized(QStringLiteral("10.1.0.5")));
    EXPECT_FALSE(t.isCustomized(QStringLiteral("10.1.0.4")));

    // Without an address the option changes.
    const double before = opts().speedLimitIp;
    t.setAddressLimit(s, QString(), 7.5);
    EXPECT_EQ(opts().speedLimitIp, 7.5);
    t.setAddressLimit(s, QString(), -3);
    EXPECT_EQ(opts().speedLimitIp, -1);
    opts().speedLimitIp = before;
}

TEST(Timeouts, NoDownloadTimeoutQuitsAfterItsMinutes)
{
    Tserve &s = serve();
    const qint64 before = opts().noDownloadTimeout;
    Ttimeouts t;
    qint64 ms = 0;
    int quits = 0;
    t.clock = [&] { return ms; };
    t.quit = [&] { ++quits; };

    opts().noDownloadTimeout = 0;
    t.secondWork(s);
    ms = 10 * 60000;
    t.secondWork(s);
    EXPECT_EQ(quits, 0) << "off when 0";

    // Switched on after a long quiet time: the quiet time counts.
    opts().noDownloadTimeout = 2;
    ms += 1000;
    t.secondWork(s);
    EXPECT_EQ(quits, 1);

    // Traffic restarts the wait.
    s.srv().bytesSent += 5;
    ms += 1000;
    t.secondWork(s);
    ms += 2 * 60000 - 1000;
    t.secondWork(s);
    EXPECT_EQ(quits, 1) << "one second short";
    s.srv().bytesSent += 5;
    ms += 1000;
    t.secondWork(s);
    ms += 2 * 60000 - 1000;
    t.secondWork(s);
    EXPECT_EQ(quits, 1) << "traffic restarted the wait";
    ms += 1000;
    t.secondWork(s);
    EXPECT_EQ(quits, 2);
    s.srv().bytesSent -= 10;
    opts().noDownloadTimeout = before;
}

TEST(Timeouts, PerSecondWorkFollowsTheOptions)
{
    Tserve &s = serve();
    const double before = opts().speedLimit;
    Ttimeouts t;
    t.quit = [] {};
    opts().speedLimit = 1;
    t.secondWork(s);
    EXPECT_EQ(s.globalLimiter().maxSpeed, 1000);
    opts().speedLimit = before;
    t.secondWork(s);
    EXPECT_EQ(s.globalLimiter().maxSpeed, speedLimitBytes(before));
}
