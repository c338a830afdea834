// The operator's connection list and its commands: the texts of a row, the
// kicks on live connections, pausing, the raw request, and the ban prompt
// answered by a scripted operator.
#include "config/options.h"
#include "http/httpSrv.h"
#include "http/testClient.h"
#include "macrosRequestTestTools.h"
#include "serve/connCommands.h"
#include "serve/connRow.h"
#include "serve/serve.h"
#include "util/prompt.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

// Answers typed texts from a list (nothing left: cancelled) and questions
// with a fixed button; keeps what it was asked.
class TscriptedPrompt : public Tprompt
{
public:
    std::deque<std::optional<QString>> texts;
    TpromptButton answer = PB_NO;
    QStringList asked, messages;

    void message(const QString &text, TpromptKind) override { messages << text; }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton) override
    {
        asked << text;
        return answer;
    }
    std::optional<QString> askText(const QString &text, const QString &title, const QString &initial, bool) override
    {
        asked << title + u'|' + text + u'|' + initial;
        if (texts.empty())
            return std::nullopt;
        auto t = texts.front();
        texts.pop_front();
        return t;
    }
};

const QByteArray getRoot = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";

class LiveConns : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedBans = opts().banList;
        opts().banList.clear();
        s.srv().setPort(QStringLiteral("0"));
        ASSERT_TRUE(s.srv().start(QStringLiteral("127.0.0.1")));
        port = s.srv().port().toUShort();
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
    // The records of the open connections, in the list's order.
    QList<TconnData *> records()
    {
        QList<TconnData *> out;
        for (ThttpConn *c : std::as_const(s.srv().conns))
            if (TconnData *d = TconnData::of(c); d && !c->isDisconnecting())
                out << d;
        return out;
    }
    // A client that got `requests` replies on one kept-alive connection.
    std::unique_ptr<TtestClient> clientWithReplies(int requests)
    {
        auto c = std::make_unique<TtestClient>(port);
        for (int i = 0; i < requests; ++i) {
            c->send(getRoot);
            EXPECT_GT(c->response().code, 0);
        }
        return c;
    }

    Tserve &s = serve();
    quint16 port = 0;
    QList<Tban> savedBans;
};

} // namespace

TEST(ConnRow, AddressUserFileAndStatusTexts)
{
    ThttpSrv srv;
    TtestRecord v4(srv);
    v4.setPeer(QStringLiteral("10.1.2.3"), QStringLiteral("5555"));
    TconnRow r = connRow(*v4.conn);
    EXPECT_EQ(r.address, QStringLiteral("10.1.2.3:5555"));
    EXPECT_EQ(r.file, QStringLiteral("-"));
    EXPECT_EQ(r.progress, QString());
    EXPECT_EQ(r.icon, CRI_CONNECTED);
    v4.cd->credentials.user = QStringLiteral("ann");
    v4.cd->request.agent = QStringLiteral("Fetcher/2");
    r = connRow(*v4.conn);
    EXPECT_EQ(r.address, QStringLiteral("ann@10.1.2.3:5555"));
    EXPECT_TRUE(r.tooltip.startsWith(QStringLiteral("Connection time: "))) << r.tooltip.toStdString();
    EXPECT_TRUE(r.tooltip.endsWith(QStringLiteral("\rAgent: Fetcher/2"))) << r.tooltip.toStdString();

    TtestRecord v6(srv);
    v6.setPeer(QStringLiteral("::1"), QStringLiteral("8080"));
    EXPECT_EQ(connRow(*v6.conn).address, QStringLiteral("[::1]:8080"));
    EXPECT_TRUE(connRow(*v6.conn).tooltip.endsWith(QStringLiteral("Agent: <unknown>")));

    // An upload under way names its file and counts received bytes.
    ThttpConnTestAccess::setState(*v6.conn, HCS_POSTING);
    v6.cd->upload.source = QStringLiteral("photo.jpg");
    r = connRow(*v6.conn);
    EXPECT_EQ(r.icon, CRI_UPLOAD);
    EXPECT_EQ(r.file, QStringLiteral("photo.jpg"));
    EXPECT_TRUE(r.status.endsWith(QStringLiteral(" received"))) << r.status.toStdString();
    EXPECT_EQ(r.progress, QStringLiteral("0%"));
    // Receiving without a file name is no upload.
    v6.cd->upload.source.clear();
    EXPECT_EQ(connRow(*v6.conn).status, QStringLiteral("receiving"));

    // A file being sent, paused by the operator.
    ThttpConnTestAccess::setState(*v4.conn, HCS_REPLYING_BODY);
    v4.conn->reply().bodyMode = RBM_FILE;
    v4.cd->transfer.downloadingWhat = DW_FILE;
    v4.cd->transfer.lastFileName = QStringLiteral("big.iso");
    r = connRow(*v4.conn);
    EXPECT_EQ(r.icon, CRI_DOWNLOAD);
    EXPECT_EQ(r.file, QStringLiteral("big.iso"));
    EXPECT_EQ(r.status, QStringLiteral("0 / 0 sent"));
    v4.conn->setPaused(true);
    EXPECT_EQ(connRow(*v4.conn).status, QStringLiteral("paused"));
    // A folder page being sent is no download.
    v4.cd->transfer.downloadingWhat = DW_FOLDERPAGE;
    EXPECT_EQ(connRow(*v4.conn).status, QStringLiteral("sending"));
    EXPECT_EQ(connRow(*v4.conn).file, QStringLiteral("-"));
}

TEST(ConnRow, SpeedText)
{
    EXPECT_EQ(connSpeedText(0), QStringLiteral("-"));
    EXPECT_EQ(connSpeedText(0.5), QStringLiteral("-"));
    EXPECT_EQ(connSpeedText(1500), QStringLiteral("1.5 kB/s"));
    EXPECT_EQ(connSpeedText(123456), QStringLiteral("123.5 kB/s"));
}

TEST(ConnCommands, PauseOnlyCountedDownloadsAndShowTheRequest)
{
    ThttpSrv srv;
    TtestRecord rec(srv, "GET /file.bin HTTP/1.1\r\nHost: x\r\nRange: bytes=0-9");
    EXPECT_EQ(httpRequestText(*rec.conn), QStringLiteral("GET /file.bin HTTP/1.1\r\nHost: x\r\nRange: bytes=0-9"));
    ThttpConnTestAccess::setState(*rec.conn, HCS_REPLYING_BODY);
    EXPECT_FALSE(togglePause(*rec.conn)); // not counted as a download
    EXPECT_FALSE(rec.conn->isPaused());
    rec.cd->transfer.countAsDownload = true;
    EXPECT_TRUE(togglePause(*rec.conn));
    EXPECT_TRUE(rec.conn->isPaused());
    EXPECT_TRUE(togglePause(*rec.conn));
    EXPECT_FALSE(rec.conn->isPaused());
    ThttpConnTestAccess::setState(*rec.conn, HCS_IDLE);
    EXPECT_FALSE(pausableDownload(*rec.conn));

    // Without a parsed head: the unparsed bytes, else "(empty)".
    TtestRecord raw(srv);
    raw.conn->request().full.clear();
    EXPECT_EQ(httpRequestText(*raw.conn), QStringLiteral("(empty)"));
    ThttpConnTestAccess::receive(*raw.conn, "GET /half");
    EXPECT_EQ(httpRequestText(*raw.conn), QStringLiteral("GET /half"));
}

TEST_F(LiveConns, IdleRowCountsRequestsAndKickIdleClosesIt)
{
    auto three = clientWithReplies(3);
    auto quiet = std::make_unique<TtestClient>(port);
    quiet->send("GET / HTTP/1.1\r\n"); // still requesting
    ASSERT_TRUE(pumpUntil([&] { return records().size() == 2; }));
    ASSERT_TRUE(pumpUntil([&] {
        for (TconnData *d : records())
            if (d->conn->state() == HCS_REQUESTING)
                return true;
        return false;
    }));
    QStringList statuses;
    for (ThttpConn *c : listedConnections(s.srv()))
        statuses << connRow(*c).status;
    statuses.sort();
    EXPECT_EQ(statuses, (QStringList{"idle 3", "requesting"}));

    EXPECT_EQ(kickIdle(s.srv()), 1);
    EXPECT_TRUE(three->waitClosed());
    ASSERT_EQ(records().size(), 1);
    EXPECT_EQ(records().first()->conn->state(), HCS_REQUESTING);
    EXPECT_TRUE(anyOpenConnection(s.srv()));
}

TEST_F(LiveConns, KickAllKeepsAReasonSetBefore)
{
    auto a = clientWithReplies(1);
    auto b = clientWithReplies(1);
    ASSERT_TRUE(pumpUntil([&] { return records().size() == 2; }));
    EXPECT_EQ(openConnectionsFrom(s.srv(), QStringLiteral("127.0.0.1")), 2);
    EXPECT_EQ(openConnectionsFrom(s.srv(), QStringLiteral("127.0.0.2")), 0);
    EXPECT_EQ(kickAddress(s.srv(), QStringLiteral("127.0.0.2")), 0);
    TconnData *first = records().first();
    first->disconnectReason = QStringLiteral("by script");
    const QList<TconnData *> both = records();
    EXPECT_EQ(kickAddress(s.srv(), QStringLiteral("*")), 2);
    QStringList reasons{both[0]->disconnectReason, both[1]->disconnectReason};
    reasons.sort();
    EXPECT_EQ(reasons, (QStringList{"by script", "kicked"}));
    EXPECT_TRUE(a->waitClosed());
    EXPECT_TRUE(b->waitClosed());
    EXPECT_FALSE(anyOpenConnection(s.srv()));
    // Ended ones stay listed until released, then the list is empty.
    ASSERT_TRUE(pumpUntil([&] {
        s.freeEnded();
        return listedConnections(s.srv()).isEmpty();
    }));
}

TEST_F(LiveConns, BanPromptAddsTheRuleAndKicksOnYes)
{
    auto a = clientWithReplies(1);
    ASSERT_TRUE(pumpUntil([&] { return records().size() == 1; }));

    TscriptedPrompt cancelled; // the first box cancelled: nothing changes
    EXPECT_FALSE(banPrompt(QStringLiteral("127.0.0.1"), cancelled, opts(), &s.srv()));
    EXPECT_TRUE(opts().banList.isEmpty());
    ASSERT_EQ(cancelled.asked.size(), 1);
    EXPECT_EQ(cancelled.asked.first(),
              QStringLiteral("Ban IP mask|You can edit the address.\rMasks and ranges are allowed.|127.0.0.1"));

    TscriptedPrompt noComment;
    noComment.texts = {QStringLiteral("127.0.0.1")};
    EXPECT_FALSE(banPrompt(QStringLiteral("127.0.0.1"), noComment, opts(), &s.srv()));
    EXPECT_TRUE(opts().banList.isEmpty());

    TscriptedPrompt keep;
    keep.texts = {QStringLiteral("127.0.0.1"), QStringLiteral("noisy")};
    keep.answer = PB_NO;
    EXPECT_TRUE(banPrompt(QStringLiteral("127.0.0.1"), keep, opts(), &s.srv()));
    EXPECT_EQ(opts().banList, (QList<Tban>{{QStringLiteral("127.0.0.1"), QStringLiteral("noisy")}}));
    EXPECT_EQ(keep.asked.last(),
              QStringLiteral("There are 1 open connections from this address.\rDo you want to kick them all now?"));
    EXPECT_EQ(records().size(), 1); // "No" keeps the connection

    TscriptedPrompt again;
    again.texts = {QStringLiteral("127.0.0.1")};
    EXPECT_FALSE(banPrompt(QStringLiteral("127.0.0.1"), again, opts(), &s.srv()));
    EXPECT_EQ(again.messages, QStringList{QStringLiteral("This IP address is already banned")});
    EXPECT_EQ(opts().banList.size(), 1);

    // An edited mask that matches no open address text asks nothing more.
    TscriptedPrompt range;
    range.texts = {QStringLiteral("127.0.0.1-127.0.0.9"), QString()};
    range.answer = PB_YES;
    EXPECT_TRUE(banPrompt(QStringLiteral("127.0.0.1"), range, opts(), &s.srv()));
    EXPECT_EQ(range.asked.size(), 2);
    EXPECT_EQ(records().size(), 1);

    opts().banList.clear();
    TscriptedPrompt kick;
    kick.texts = {QStringLiteral("127.0.0.1"), QStringLiteral("bye")};
    kick.answer = PB_YES;
    EXPECT_TRUE(banPrompt(QStringLiteral("127.0.0.1"), kick, opts(), &s.srv()));
    EXPECT_TRUE(a->waitClosed());
    EXPECT_EQ(records().size(), 0);
}
