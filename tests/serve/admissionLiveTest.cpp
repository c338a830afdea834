// The heartbeat's admission work on real loopback connections: kicking
// addresses that a changed ban list bans, and the per-address limiters
// that live as long as the address has a connection.

#include "config/options.h"
#include "http/connTestAccess.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "http/testClient.h"
#include "serve/admission.h"
#include "serve/connData.h"
#include "serve/perIp.h"
#include "serve/serve.h"
#include "serve/timeouts.h"
#include "vfs/file.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// A loopback client connecting from the given 127.x.y.z address.
std::unique_ptr<TtestClient> clientFrom(quint16 port, const char *source)
{
    // Port 0 refuses at once: the client's own connection is replaced by
    // one bound to `source`.
    auto c = std::make_unique<TtestClient>(0);
    c->close();
    c->fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    c->connected = ::bind(c->fd, reinterpret_cast<sockaddr *>(&from), sizeof from) == 0
        && ::connect(c->fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0;
    fcntl(c->fd, F_SETFL, fcntl(c->fd, F_GETFL) | O_NONBLOCK);
    return c;
}

class LiveServe : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedBans = opts().banList;
        opts().banList.clear();
        s.srv().setPort(QStringLiteral("0"));
        ASSERT_TRUE(s.srv().start(QStringLiteral("127.0.0.1")));
        port = s.srv().port().toUShort();
        t.clock = [this] { return ms; };
        t.quit = [] {};
    }

    void TearDown() override
    {
        opts().banList = savedBans;
        s.srv().stop();
        s.srv().disconnectAll(false);
        pumpUntil([&] {
            s.freeEnded();
            return s.srv().conns.isEmpty() && s.pendingFrees() == 0;
        });
    }

    // The record of the open connection from `address` (null if none).
    TconnData *recordOf(const QString &address)
    {
        for (ThttpConn *c : std::as_const(s.srv().conns))
            if (TconnData *d = TconnData::of(c); d && d->address == address && !c->isDisconnecting())
                return d;
        return nullptr;
    }

    int openFrom(const QString &address)
    {
        int n = 0;
        for (ThttpConn *c : std::as_const(s.srv().conns))
            if (const TconnData *d = TconnData::of(c); d && d->address == address)
                ++n;
        return n;
    }

    // Lets the loop run until the ended connections are released.
    bool settle(int wantedConns)
    {
        return pumpUntil([&] {
            s.freeEnded();
            return s.srv().conns.size() == wantedConns && s.pendingFrees() == 0;
        });
    }

    Tserve &s = serve();
    Ttimeouts t;
    qint64 ms = 0;
    quint16 port = 0;
    QList<Tban> savedBans;
};

const QString peerA = QStringLiteral("127.0.0.2");
const QString peerB = QStringLiteral("127.0.0.3");

} // namespace

TEST_F(LiveServe, ChangedBanListKicksOnlyTheNewlyBanned)
{
    auto a1 = clientFrom(port, "127.0.0.2");
    auto a2 = clientFrom(port, "127.0.0.2");
    auto b = clientFrom(port, "127.0.0.3");
    ASSERT_TRUE(a1->connected && a2->connected && b->connected);
    ASSERT_TRUE(pumpUntil([&] { return openFrom(peerA) == 2 && openFrom(peerB) == 1; }));
    t.secondWork(s); // the list as it was: nobody is kicked
    EXPECT_EQ(openFrom(peerA) + openFrom(peerB), 3);

    // A reason set earlier on the connection is kept.
    TconnData *first = recordOf(peerA);
    ASSERT_NE(first, nullptr);
    first->disconnectReason = QStringLiteral("earlier");
    opts().banList = {{QStringLiteral("127.0.0.2"), QStringLiteral("bad")}};
    ms += 1000;
    t.secondWork(s);
    QStringList reasons;
    for (ThttpConn *c : std::as_const(s.srv().conns))
        if (const TconnData *d = TconnData::of(c); d && d->address == peerA)
            reasons << d->disconnectReason;
    reasons.sort();
    EXPECT_EQ(reasons, QStringList({QStringLiteral("earlier"), QStringLiteral("kick banned")}));

    EXPECT_TRUE(a1->waitClosed());
    EXPECT_TRUE(a2->waitClosed());
    a1->close();
    a2->close();
    ASSERT_TRUE(settle(1));
    b->poll();
    EXPECT_FALSE(b->closed);
    EXPECT_EQ(openFrom(peerB), 1);

    // The list unchanged: a later connection of a banned address is left
    // to the ban page of its request, not kicked every second.
    auto a3 = clientFrom(port, "127.0.0.2");
    ASSERT_TRUE(pumpUntil([&] { return openFrom(peerA) == 1; }));
    ms += 1000;
    t.secondWork(s);
    pumpEvents(50);
    a3->poll();
    EXPECT_FALSE(a3->closed);

    // A rule lifted and another one added: only the new one kicks.
    opts().banList = {{QStringLiteral("127.0.0.3"), QString()}};
    ms += 1000;
    t.secondWork(s);
    EXPECT_TRUE(b->waitClosed());
    a3->poll();
    EXPECT_FALSE(a3->closed);
}

TEST_F(LiveServe, AddressLimiterLivesAsLongAsItsConnections)
{
    const qsizetype serverLimiters = s.srv().limiters.size();
    auto a1 = clientFrom(port, "127.0.0.2");
    auto a2 = clientFrom(port, "127.0.0.2");
    auto b = clientFrom(port, "127.0.0.3");
    ASSERT_TRUE(pumpUntil([&] { return openFrom(peerA) == 2 && openFrom(peerB) == 1; }));
    // As the dispatcher does for every request.
    for (ThttpConn *c : std::as_const(s.srv().conns)) {
        TspeedLimiter *l = s.perIpLimiter(TconnData::of(c)->address);
        ASSERT_NE(l, nullptr);
        c->limiters().append(l);
    }
    EXPECT_EQ(s.perIpLimiter(peerA), s.perIpLimiter(peerA)) << "one limiter per address";
    EXPECT_NE(s.perIpLimiter(peerA), s.perIpLimiter(peerB));
    EXPECT_EQ(s.srv().limiters.size(), serverLimiters + 2);

    a1->close();
    ASSERT_TRUE(settle(2));
    EXPECT_EQ(s.srv().limiters.size(), serverLimiters + 2) << "peerA still has a connection";
    a2->close();
    ASSERT_TRUE(settle(1));
    EXPECT_EQ(s.srv().limiters.size(), serverLimiters + 1) << "peerA's limiter went with its last connection";
    b->close();
    ASSERT_TRUE(settle(0));
    EXPECT_EQ(s.srv().limiters.size(), serverLimiters);
}

TEST_F(LiveServe, AddressOwnLimitOutlivesItsLimiter)
{
    TperIp &table = TperIp::global();
    table.setAddressLimit(s, peerA, 3); // no connection yet: remembered
    const double savedIpLimit = opts().speedLimitIp;
    opts().speedLimitIp = 20;
    for (int round = 0; round < 2; ++round) {
        auto a = clientFrom(port, "127.0.0.2");
        auto b = clientFrom(port, "127.0.0.3");
        ASSERT_TRUE(pumpUntil([&] { return openFrom(peerA) == 1 && openFrom(peerB) == 1; }));
        ms += 1000;
        t.secondWork(s);
        EXPECT_EQ(s.perIpLimiter(peerA)->maxSpeed, 3000) << round;
        if (round == 0) { // the change of "speed-limit-ip" reached the open addresses
            EXPECT_EQ(s.perIpLimiter(peerB)->maxSpeed, 20000);
        }
        // The dispatcher sets the common limit on each request; the
        // address gets its own back before a download.
        s.perIpLimiter(peerA)->setLimit(20000);
        reapplyCustomLimit(*recordOf(peerA));
        EXPECT_EQ(s.perIpLimiter(peerA)->maxSpeed, 3000) << round;
        for (ThttpConn *c : std::as_const(s.srv().conns))
            c->limiters().append(s.perIpLimiter(TconnData::of(c)->address));
        a->close();
        b->close();
        ASSERT_TRUE(settle(0));
    }
    table.clearAddressLimit(s, peerA);
    opts().speedLimitIp = savedIpLimit;
    ms += 1000;
    t.secondWork(s);
}

TEST_F(LiveServe, ConnectionCountsFollowTheRecordsAddresses)
{
    auto a1 = clientFrom(port, "127.0.0.2");
    auto a2 = clientFrom(port, "127.0.0.2");
    auto b = clientFrom(port, "127.0.0.3");
    ASSERT_TRUE(pumpUntil([&] { return openFrom(peerA) == 2 && openFrom(peerB) == 1; }));
    TconnData *self = recordOf(peerA);
    ASSERT_NE(self, nullptr);
    TconnCounts n = countConnections(s.srv(), *self, true);
    EXPECT_EQ(n.all, 3) << "the one checked is counted once";
    EXPECT_EQ(n.fromAddress, 2);
    EXPECT_EQ(n.addresses, 2);
    EXPECT_EQ(countConnections(s.srv(), *self, false).addresses, 0);

    // A forwarded address replaces the peer's in the record.
    recordOf(peerB)->address = peerA;
    n = countConnections(s.srv(), *self, true);
    EXPECT_EQ(n.fromAddress, 3);
    EXPECT_EQ(n.addresses, 1);

    // A record not yet in the server's list (as at connection time).
    TconnData outsider(nullptr);
    outsider.address = QStringLiteral("127.0.0.9");
    n = countConnections(s.srv(), outsider, true);
    EXPECT_EQ(n.all, 4);
    EXPECT_EQ(n.fromAddress, 1);
    EXPECT_EQ(n.addresses, 2);

    Toptions o;
    o.maxConnections = o.maxConnectionsByIp = o.maxIps = 0;
    o.maxIps = 1;
    EXPECT_TRUE(isOverloaded(o, n));
    o.maxIps = 2;
    EXPECT_FALSE(isOverloaded(o, n));
}

namespace {

// A "download" script that leaves, sets or clears the reason.
class TscriptedEvents final : public TeventHooks
{
public:
    QString runFor(const QString &name, TconnData *cd, Tfile *, const TnameValueList &) override
    {
        if (name == u"download" && cd && action)
            action(*cd);
        return {};
    }
    bool has(const QString &name) override { return name == u"download" && action; }
    std::function<void(TconnData &)> action;
};

} // namespace

TEST_F(LiveServe, DownloadScriptDecidesTheAnswer)
{
    const Toptions saved = opts();
    auto other = clientFrom(port, "127.0.0.2");
    auto asker = clientFrom(port, "127.0.0.2");
    ASSERT_TRUE(pumpUntil([&] { return openFrom(peerA) == 2; }));
    TconnData *busy = nullptr, *cd = nullptr;
    for (ThttpConn *c : std::as_const(s.srv().conns))
        (busy ? cd : busy) = TconnData::of(c);
    ASSERT_TRUE(busy && cd);
    const TfilePtr f = Tfile::create(QStringLiteral("/srv/one.bin"));
    const TfilePtr g = Tfile::create(QStringLiteral("/srv/two.bin"));
    auto script = std::make_unique<TscriptedEvents>();
    TscriptedEvents *events = script.get();
    s.setEventHooks(std::move(script));

    // The other connection of the address is downloading another file.
    const ThttpConnState busyState = busy->conn->state();
    ThttpConnTestAccess::setState(*busy->conn, HCS_REPLYING_BODY);
    busy->transfer.countAsDownload = true;
    busy->transfer.lastFile = g;

    struct Tcase
    {
        const char *what;
        qint64 maxDlsIp;
        bool noLimits;
        std::function<void(TconnData &)> script;
        bool allowed;
        ThttpReplyMode mode; // when refused
        const char *reason;
    };
    const auto set = [](const char *r) { return [r](TconnData &d) { d.disconnectReason = QString::fromLatin1(r); }; };
    const QList<Tcase> cases = {
        {"no rule, no script", 0, false, nullptr, true, HRM_IGNORE, ""},
        {"no rule, script refuses", 0, false, set("not today"), false, HRM_DENY, "not today"},
        {"rule refuses", 1, false, nullptr, false, HRM_OVERLOAD, "Max simultaneous downloads"},
        {"script keeps the rule's reason", 1, false, set("Max simultaneous downloads"), false, HRM_OVERLOAD,
         "Max simultaneous downloads"},
        {"script changes the reason", 1, false, set("busy"), false, HRM_DENY, "busy"},
        {"script clears the reason", 1, false, set(""), true, HRM_IGNORE, ""},
        {"account without limits", 1, true, nullptr, true, HRM_IGNORE, ""},
    };
    TadmissionRules rules;
    for (const Tcase &c : cases) {
        opts().maxContemporaryDls = opts().maxIpsDownloading = 0;
        opts().preventLeeching = false;
        opts().maxContemporaryDlsIp = c.maxDlsIp;
        events->action = c.script;
        cd->conn->setIgnoreSpeedLimit(c.noLimits);
        cd->conn->reply().mode = HRM_IGNORE;
        cd->transfer.countAsDownload = true;
        cd->transfer.lastFile = f;
        EXPECT_EQ(rules.allowDownload(*cd), c.allowed) << c.what;
        EXPECT_EQ(cd->transfer.countAsDownload, c.allowed) << c.what;
        EXPECT_EQ(cd->disconnectReason, QString::fromLatin1(c.reason)) << c.what;
        if (!c.allowed) {
            EXPECT_EQ(cd->conn->reply().mode, c.mode) << c.what;
        }
    }

    // Once its reply is over, the other connection no longer counts, even
    // with its last request a download.
    events->action = nullptr;
    cd->conn->setIgnoreSpeedLimit(false);
    ThttpConnTestAccess::setState(*busy->conn, HCS_IDLE);
    opts().maxContemporaryDlsIp = 1;
    cd->transfer.countAsDownload = true;
    EXPECT_TRUE(rules.allowDownload(*cd));
    ThttpConnTestAccess::setState(*busy->conn, HCS_REPLYING_HEADER);
    cd->transfer.countAsDownload = true;
    EXPECT_FALSE(rules.allowDownload(*cd));

    cd->transfer.lastFile.reset();
    busy->transfer.lastFile.reset();
    busy->transfer.countAsDownload = false;
    ThttpConnTestAccess::setState(*busy->conn, busyState);
    s.setEventHooks(nullptr);
    opts() = saved;
}
