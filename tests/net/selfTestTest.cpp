#include "net/selfTest.h"

#include "util/prompt.h"

#include "qtPrinters.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QUrl>
#include <QUrlQuery>

namespace {

// Keeps the messages; answers questions with `answer`.
class TrecordingPrompt : public Tprompt
{
public:
    QStringList messages;
    TpromptButton answer = PB_OK;
    int questions = 0;
    void message(const QString &text, TpromptKind) override { messages.append(text); }
    TpromptButton question(const QString &, TpromptButtons, TpromptButton) override
    {
        ++questions;
        return answer;
    }
};

// A program and a test service in memory: the service answers by address
// and port from `replies` (a list consumed per key), "" meaning no reply.
struct Tworld
{
    bool listening = true;
    QString port = QStringLiteral("8080");
    QString urlAddress = QStringLiteral("203.0.113.5");
    QString external = QStringLiteral("203.0.113.5");
    QStringList own{QStringLiteral("192.168.1.2")};
    QStringList extraCandidates;
    QHash<QString, QStringList> replies; // "host:port" -> replies in turn
    bool probeWorks = true;
    QStringList asked;                   // "host:port" of each request
    QList<bool> limitsSuspended;
    qint64 clock = 0;
    QList<qint64> pauses;
    qint64 replyMs = 500;

    TselfTestHooks hooks()
    {
        TselfTestHooks h;
        h.get = [this](const QString &url) -> std::optional<QString> {
            clock += replyMs;
            if (url.startsWith(QStringLiteral("http://probe")))
                return probeWorks ? std::optional<QString>(QStringLiteral("<html>")) : std::nullopt;
            const QUrlQuery q{QUrl(url)};
            const QString key = q.queryItemValue(QStringLiteral("host")) + u':' + q.queryItemValue(QStringLiteral("port"));
            asked.append(key);
            QStringList &list = replies[key];
            if (list.isEmpty())
                return std::nullopt;
            const QString r = list.size() > 1 ? list.takeFirst() : list.first();
            if (r.isEmpty())
                return std::nullopt;
            return r;
        };
        h.listening = [this] { return listening; };
        h.startServer = [this] { listening = true; return true; };
        h.serverPort = [this] { return listening ? port : QString(); };
        h.setPort = [this](const QString &p) { port = p; };
        h.urlAddress = [this] { return urlAddress; };
        h.setUrlAddress = [this](const QString &a) { urlAddress = a; };
        h.externalAddress = [this] { return external; };
        h.findExternalAddress = [] {};
        h.candidates = [this] { return QStringList{urlAddress} + extraCandidates + own; };
        h.ownAddresses = [this] { return own; };
        h.suspendLimits = [this](bool on) { limitsSuspended.append(on); };
        h.clockMs = [this] { return clock; };
        h.pause = [this](qint64 ms) { pauses.append(ms); clock += ms; };
        return h;
    }
};

TselfTestSettings settings()
{
    TselfTestSettings s;
    s.serviceUrl = QStringLiteral("http://service.test/selftest");
    s.probeUrl = QStringLiteral("http://probe.test/");
    s.ports = {QStringLiteral("80"), QStringLiteral("8123")};
    return s;
}

class SelfTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto p = std::make_unique<TrecordingPrompt>();
        rec = p.get();
        previous = setPrompt(std::move(p));
    }
    void TearDown() override { setPrompt(std::move(previous)); }
    QString run(Tworld &w, TselfTestSettings s = settings())
    {
        TselfTest(w.hooks(), s).run();
        return rec->messages.isEmpty() ? QString() : rec->messages.last();
    }
    TrecordingPrompt *rec = nullptr;
    std::unique_ptr<Tprompt> previous;
};

} // namespace

TEST(SelfTestTexts, ReplyCodes)
{
    const QString head = QStringLiteral("The test failed: server does not answer.\r\r");
    EXPECT_EQ(selfTestFailureText(QStringLiteral("3"), QStringLiteral("8080")),
              head + QStringLiteral("You may be behind a router or firewall."));
    EXPECT_EQ(selfTestFailureText(QStringLiteral("6 natted"), QStringLiteral("8080")),
              head + QStringLiteral("You are behind a router.\rEnsure it is configured to forward port 8080 to your computer."));
    EXPECT_EQ(selfTestFailureText(QStringLiteral("6"), QString()),
              head + QStringLiteral("You are behind a router.\rEnsure it is configured to forward port 80 to your computer."));
    EXPECT_EQ(selfTestFailureText(QStringLiteral("7"), QStringLiteral("8080")),
              head + QStringLiteral("You may be behind a firewall.\rEnsure nothing is blocking ZOF."));
    EXPECT_EQ(selfTestFailureText(QStringLiteral("9 odd"), QStringLiteral("8080")), head + QStringLiteral("9 odd"));
    // A smaller code is a better reply; a reply without a code never counts.
    EXPECT_TRUE(betterSelfTestReply(QStringLiteral("6"), QString()));
    EXPECT_TRUE(betterSelfTestReply(QStringLiteral("3"), QStringLiteral("6")));
    EXPECT_FALSE(betterSelfTestReply(QStringLiteral("7"), QStringLiteral("6")));
    EXPECT_FALSE(betterSelfTestReply(QStringLiteral("oops"), QString()));
    EXPECT_FALSE(betterSelfTestReply(QString(), QString()));
    const QUrlQuery q{QUrl(selfTestRequest(QStringLiteral("http://s.test/t?key=1"), QStringLiteral("203.0.113.5"),
                                           QStringLiteral("80"), true))};
    EXPECT_EQ(q.queryItemValue(QStringLiteral("key")), QStringLiteral("1"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("port")), QStringLiteral("80"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("host")), QStringLiteral("203.0.113.5"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("natted")), QStringLiteral("yes"));
}

TEST_F(SelfTest, SuccessOnTheFirstAddressSuspendsLimitsMeanwhile)
{
    Tworld w;
    w.replies[QStringLiteral("203.0.113.5:8080")] = {QStringLiteral("1 ok")};
    EXPECT_EQ(run(w), QStringLiteral("The test is successful. The server should be working fine."));
    EXPECT_EQ(w.asked, QStringList{QStringLiteral("203.0.113.5:8080")}); // local addresses are not tested
    EXPECT_EQ(w.limitsSuspended, (QList<bool>{true, false}));
    EXPECT_EQ(rec->questions, 1);
}

TEST_F(SelfTest, BestFailureAmongAddressesThenOtherPorts)
{
    Tworld w;
    w.extraCandidates = {QStringLiteral("198.51.100.9")};
    w.replies[QStringLiteral("203.0.113.5:8080")] = {QStringLiteral("7")};
    w.replies[QStringLiteral("198.51.100.9:8080")] = {QStringLiteral("6")};
    const QString last = run(w);
    EXPECT_EQ(w.asked, (QStringList{QStringLiteral("203.0.113.5:8080"), QStringLiteral("198.51.100.9:8080"),
                                    QStringLiteral("203.0.113.5:80"), QStringLiteral("203.0.113.5:8123")}));
    EXPECT_EQ(last, selfTestFailureText(QStringLiteral("6"), QStringLiteral("8080")));
    EXPECT_EQ(w.port, QStringLiteral("8080")); // restored
    EXPECT_EQ(w.urlAddress, QStringLiteral("203.0.113.5"));
}

TEST_F(SelfTest, AnotherPortThatWorksIsKept)
{
    Tworld w;
    w.replies[QStringLiteral("203.0.113.5:8123")] = {QStringLiteral("1")};
    EXPECT_EQ(run(w), QStringLiteral("Port 8080 is not working, but another working port has been found and set: 8123."));
    EXPECT_EQ(w.port, QStringLiteral("8123"));
}

TEST_F(SelfTest, NoReplyEndsWithTheProbe)
{
    Tworld w;
    EXPECT_EQ(run(w), QStringLiteral("Sorry, the test is unavailable at the moment"));
    w = Tworld();
    w.probeWorks = false;
    EXPECT_EQ(run(w), QStringLiteral("Your internet connection does not work"));
    // Only private addresses and no external one: straight to the probe.
    w = Tworld();
    w.urlAddress = QStringLiteral("192.168.1.2");
    w.external.clear();
    EXPECT_EQ(run(w), QStringLiteral("Sorry, the test is unavailable at the moment"));
    EXPECT_TRUE(w.asked.isEmpty());
}

TEST_F(SelfTest, BusyRepliesAreAskedAgainAfterTheAttemptFloor)
{
    Tworld w;
    w.replies[QStringLiteral("203.0.113.5:8080")] = {QStringLiteral("4"), QStringLiteral("4 busy"), QStringLiteral("1")};
    TselfTest t(w.hooks(), settings());
    EXPECT_EQ(t.testAddress(QStringLiteral("203.0.113.5"), {}), QStringLiteral("1"));
    EXPECT_EQ(t.attempts, 3);
    // Each busy attempt took 500 ms: 2600 more make it 3.1 seconds.
    EXPECT_EQ(w.pauses, (QList<qint64>{2600, 2600}));
    // A slow attempt needs no pause; an error ends with no result.
    w = Tworld();
    w.replyMs = 4000;
    w.replies[QStringLiteral("203.0.113.5:8080")] = {QStringLiteral("4"), QString()};
    TselfTest slow(w.hooks(), settings());
    EXPECT_FALSE(slow.testAddress(QStringLiteral("203.0.113.5"), {}).has_value());
    EXPECT_TRUE(w.pauses.isEmpty());
}

TEST_F(SelfTest, RefusalsBeforeAnyRequest)
{
    Tworld w;
    TselfTestSettings s = settings();
    s.listenOn = QStringLiteral("127.0.0.1");
    EXPECT_EQ(run(w, s), QStringLiteral("Self test cannot be performed because ZOF was configured to accept "
                                        "connections only on 127.0.0.1"));
    s = settings();
    s.serviceUrl.clear();
    EXPECT_TRUE(run(w, s).contains(QStringLiteral("no test service is configured")));
    rec->answer = PB_CANCEL;
    rec->messages.clear();
    EXPECT_EQ(run(w), QString());
    EXPECT_TRUE(w.asked.isEmpty());
    EXPECT_TRUE(w.limitsSuspended.isEmpty());
}

TEST_F(SelfTest, HttpsWarningComesFirst)
{
    Tworld w;
    w.replies[QStringLiteral("203.0.113.5:8080")] = {QStringLiteral("1")};
    TselfTestSettings s = settings();
    s.httpsUrl = true;
    run(w, s);
    ASSERT_EQ(rec->messages.size(), 2);
    EXPECT_EQ(rec->messages.first(), QStringLiteral("Self test doesn't support HTTPS.\rIt's likely it won't work."));
}
