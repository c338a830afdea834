// Switching the server and changing its port: the port rule, the port that
// is only tried while the server is off, the restart on the same port, the
// port box's rules and the message naming the program that holds a port.
#include "app/serverSwitch.h"
#include "app/services.h"
#include "config/options.h"
#include "mainMenuScriptedPrompt.h"
#include "qtPrinters.h"
#include "serve/serve.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Holds a listening socket on `port` (0: any); port() is what it got.
struct TportHolder
{
    QTcpServer s;
    bool hold(quint16 port) { return s.listen(QHostAddress::Any, port); }
    QString port() const { return QString::number(s.serverPort()); }
};

bool portFree(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, port);
}

} // namespace

TEST(ServerSwitch, ChangingThePortWhileOffOnlyTriesIt)
{
    Tservices services;
    TscriptedPromptScope p;
    TportHolder taken;
    ASSERT_TRUE(taken.hold(0));
    ASSERT_FALSE(serverListening());
    opts().port = QStringLiteral("0");

    // A port that cannot be opened: refused, the old port stays.
    EXPECT_FALSE(changePort(taken.port()));
    EXPECT_EQ(opts().port, QStringLiteral("0"));
    EXPECT_FALSE(serverListening());

    // A free one is taken but the server stays off.
    TportHolder probe;
    ASSERT_TRUE(probe.hold(0));
    const QString freePort = probe.port();
    probe.s.close();
    EXPECT_TRUE(changePort(freePort));
    EXPECT_EQ(opts().port, freePort);
    EXPECT_FALSE(serverListening());
}

TEST(ServerSwitch, ChangingThePortWhileListeningMovesOrKeepsTheServer)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().port = QStringLiteral("0");
    ASSERT_TRUE(startServer());
    const QString first = currentPort();
    EXPECT_NE(first, QStringLiteral("0"));
    EXPECT_FALSE(startServer()); // already listening

    // The port in use: nothing to do.
    EXPECT_TRUE(changePort(first));
    EXPECT_EQ(currentPort(), first);

    // A taken port: back on the old one, still listening.
    TportHolder taken;
    ASSERT_TRUE(taken.hold(0));
    EXPECT_FALSE(changePort(taken.port()));
    EXPECT_TRUE(serverListening());
    EXPECT_EQ(opts().port, first);
    EXPECT_EQ(currentPort(), first);

    // The restart keeps the port even when the options leave it automatic.
    opts().port.clear();
    const QString before = currentPort();
    EXPECT_TRUE(restartServer());
    EXPECT_EQ(currentPort(), before);

    // A connection accepted before the port moves is still served after.
    TportHolder probe;
    ASSERT_TRUE(probe.hold(0));
    const QString next = probe.port();
    probe.s.close();
    EXPECT_TRUE(changePort(next));
    EXPECT_EQ(currentPort(), next);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, next.toUShort());
    EXPECT_TRUE(client.waitForConnected(3000));
    stopServer();
}

TEST(ServerSwitch, AutomaticPortSkipsTheTakenOnes)
{
    Tservices services;
    TscriptedPromptScope p;
    // 80, then 8080, 280, 10080, then whatever the system gives.
    TportHolder h80, h8080, h280, h10080;
    h80.hold(80); // may be held by someone else: taken either way
    if (portFree(80))
        GTEST_SKIP() << "port 80 cannot be held by this test";
    opts().port.clear();
    if (portFree(8080)) {
        ASSERT_TRUE(startServer());
        EXPECT_EQ(currentPort(), QStringLiteral("8080"));
        stopServer();
    }
    h8080.hold(8080);
    h280.hold(280);
    h10080.hold(10080);
    for (quint16 port : {8080, 280, 10080})
        ASSERT_FALSE(portFree(port)) << port;
    ASSERT_TRUE(startServer());
    const QString chosen = currentPort();
    EXPECT_FALSE(QStringList({"80", "8080", "280", "10080", "0", ""}).contains(chosen)) << chosen.toStdString();
    stopServer();
}

TEST(ServerSwitch, PortBoxWantsDigitsAndAsksAgain)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().port = QStringLiteral("0");
    TportHolder taken;
    ASSERT_TRUE(taken.hold(0));
    TportHolder probe;
    ASSERT_TRUE(probe.hold(0));
    const QString freePort = probe.port();
    probe.s.close();

    p->texts = {QStringLiteral("80a"), taken.port(), QStringLiteral(" ") + freePort + QStringLiteral(" ")};
    portPrompt();
    ASSERT_EQ(p->boxes.size(), 3);
    EXPECT_EQ(p->boxes[0].title, QStringLiteral("Port"));
    EXPECT_EQ(p->boxes[0].text, QStringLiteral("Specify a port to accept connection,\ror leave empty to decide automatically."));
    EXPECT_EQ(p->boxes[0].initial, QStringLiteral("0"));
    EXPECT_EQ(p->boxes[1].initial, QStringLiteral("80a"));
    ASSERT_EQ(p->messages.size(), 2);
    EXPECT_EQ(p->messages[0], QStringLiteral("Numbers only"));
    // This test program holds the port: the message names it.
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    EXPECT_EQ(p->messages[1], QStringLiteral("Cannot open port.\rIt is already used by ") + self);
    EXPECT_EQ(opts().port, freePort);

    // Empty lets the port be chosen automatically; Cancel ends the box.
    p->texts = {QString()};
    portPrompt();
    EXPECT_EQ(opts().port, QString());
    p->texts = {std::nullopt};
    portPrompt();
    EXPECT_EQ(opts().port, QString());
}

TEST(ServerSwitch, PortFailureMessageWithoutAHolder)
{
    TportHolder probe;
    ASSERT_TRUE(probe.hold(0));
    const QString port = probe.port();
    EXPECT_EQ(portHolder(port), QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    probe.s.close();
    EXPECT_EQ(portHolder(port), QString());
    EXPECT_EQ(portFailureMessage(port),
              QStringLiteral("Cannot open port.\rSomething is blocking, maybe your system firewall."));
    EXPECT_EQ(portHolder(QStringLiteral("http")), QString());
}

TEST(ServerSwitch, SwitchingOffOffersToCloseOpenConnections)
{
    Tservices services;
    TscriptedPromptScope p;
    opts().port = QStringLiteral("0");
    toggleServer();
    ASSERT_TRUE(serverListening());
    const quint16 port = currentPort().toUShort();

    QTcpSocket a, b;
    a.connectToHost(QHostAddress::LocalHost, port);
    b.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(a.waitForConnected(3000) && b.waitForConnected(3000));
    ASSERT_TRUE(QTest::qWaitFor([] { return openConnectionCount() == 2; }, 3000));

    // No: the connections stay.
    p->buttons = {PB_NO};
    toggleServer();
    EXPECT_FALSE(serverListening());
    EXPECT_EQ(p->questions, QStringList{QStringLiteral("There are 2 connections open.\rDo you want to close them now?")});
    EXPECT_EQ(openConnectionCount(), 2);

    // On again, off again with Yes: both are kicked.
    toggleServer();
    ASSERT_TRUE(serverListening());
    EXPECT_TRUE(p->questions.size() == 1); // nothing asked when switching on
    p->buttons = {PB_YES};
    toggleServer();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return a.state() == QAbstractSocket::UnconnectedState && b.state() == QAbstractSocket::UnconnectedState;
    }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([] { return openConnectionCount() == 0; }, 3000)) << openConnectionCount();

    // A port that cannot be opened is reported.
    TportHolder taken;
    ASSERT_TRUE(taken.hold(0));
    opts().port = taken.port();
    p->messages.clear();
    toggleServer();
    EXPECT_FALSE(serverListening());
    ASSERT_EQ(p->messages.size(), 1);
    EXPECT_TRUE(p->messages[0].startsWith(QStringLiteral("Cannot open port.\rIt is already used by ")));
}
