// The connection list over a live server: a download shows as a row and its
// log line reaches the log view; a ban from the list's menu reaches the ban
// list and kicks the client; a thousand rows refresh in place.
#include "app/services.h"
#include "config/options.h"
#include "http/connTestAccess.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "log/log.h"
#include "serve/connData.h"
#include "serve/serve.h"
#include "ui/connectionMenu.h"
#include "ui/connectionsView.h"
#include "ui/logView.h"
#include "ui/mainWindow.h"
#include "ui/menuTable.h"
#include "util/prompt.h"
#include "vfs/file.h"
#include "vfs/treeAdd.h"
#include "vfs/vfs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

#include <deque>

#include <gtest/gtest.h>

namespace {

// The operator's answers: texts from a list, questions with one button.
class TanswersPrompt : public Tprompt
{
public:
    TanswersPrompt(std::deque<QString> t, TpromptButton b) : texts(std::move(t)), button(b) {}
    void message(const QString &text, TpromptKind) override { messages << text; }
    TpromptButton question(const QString &text, TpromptButtons, TpromptButton) override
    {
        questions << text;
        return button;
    }
    std::optional<QString> askText(const QString &, const QString &title, const QString &initial, bool) override
    {
        titles << title + u'=' + initial;
        if (texts.empty())
            return std::nullopt;
        QString t = texts.front();
        texts.pop_front();
        return t;
    }
    std::deque<QString> texts;
    TpromptButton button;
    QStringList messages, questions, titles;
};

// The program's services with a server on a free loopback port and one
// file of `size` bytes at "/data.bin".
struct TliveServer
{
    explicit TliveServer(qint64 size)
    {
        setLogToStderr(false);
        opts().port = QStringLiteral("0");
        opts().listenOn = QStringLiteral("127.0.0.1");
        opts().banList.clear();
        QFile f(dir.filePath(QStringLiteral("data.bin")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'z'));
        f.close();
        TtreeAdder(Tvfs::instance()).addFile(Tfile::create(f.fileName()), Tvfs::instance().root(), true);
        EXPECT_TRUE(serve().startServer());
        port = serve().listeningPort().toUShort();
    }
    ~TliveServer()
    {
        serve().globalLimiter().setLimit(TspeedLimiter::unlimited);
        setPrompt(nullptr);
        setLogToStderr(true);
    }
    QTemporaryDir dir;
    Tservices services;
    quint16 port = 0;
};

std::unique_ptr<QTcpSocket> startGet(quint16 port, const QByteArray &path)
{
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(QStringLiteral("127.0.0.1"), port);
    EXPECT_TRUE(s->waitForConnected(3000));
    s->write("GET " + path + " HTTP/1.1\r\nHost: test\r\nUser-Agent: rowtest\r\n\r\n");
    s->flush();
    return s;
}

// Runs the loop (the server answers) until `pred` holds.
bool waitFor(const std::function<bool()> &pred, int ms = 5000)
{
    return QTest::qWaitFor(pred, ms);
}

} // namespace

TEST(ConnectionsView, DownloadShowsAsARowAndItsLogLineInTheLog)
{
    TliveServer live(600000);
    TmainWindow w;
    TconnectionsView *view = w.connections();
    // Slow enough to watch: 100 kB a second.
    serve().globalLimiter().setLimit(100000);
    auto client = startGet(live.port, "/data.bin");
    qint64 got = 0;
    QObject::connect(client.get(), &QTcpSocket::readyRead, [&] { got += client->readAll().size(); });

    ASSERT_TRUE(waitFor([&] {
        view->refresh();
        return view->connections()->rowCount() == 1 && view->connections()->rowAt(0).status.endsWith(QStringLiteral(" sent"));
    }));
    const TconnRow row = view->connections()->rowAt(0);
    EXPECT_TRUE(row.address.startsWith(QStringLiteral("127.0.0.1:")));
    EXPECT_EQ(row.file, QStringLiteral("data.bin"));
    EXPECT_TRUE(row.status.endsWith(QStringLiteral(" / 600,000 sent")) || row.status.endsWith(QStringLiteral(" / 600000 sent")))
        << row.status.toStdString();
    EXPECT_EQ(row.icon, CRI_DOWNLOAD);
    EXPECT_TRUE(row.progress.endsWith(u'%'));
    EXPECT_TRUE(row.tooltip.endsWith(QStringLiteral("Agent: rowtest"))) << row.tooltip.toStdString();
    const QModelIndex cell = view->connections()->index(0, CC_FILE);
    EXPECT_EQ(view->connections()->data(cell, Qt::DisplayRole).toString(), QStringLiteral("data.bin"));

    // Pausing from the menu: the row says so until resumed.
    view->setCurrentIndex(view->connections()->index(0, 0));
    const QList<TmenuEntry> menu = connectionMenuEntries(view, {});
    const TmenuEntry *pause = findMenuEntry(menu, QStringLiteral("Pause (download-only)"));
    ASSERT_TRUE(pause);
    ASSERT_TRUE(menuEntryOffered(*pause, true));
    triggerMenuEntry(*pause);
    view->refresh();
    EXPECT_EQ(view->connections()->rowAt(0).status, QStringLiteral("paused"));
    EXPECT_TRUE(menuEntryChecked(*pause));
    triggerMenuEntry(*pause);

    // Full speed to the end: the log view shows the finished download.
    serve().globalLimiter().setLimit(TspeedLimiter::unlimited);
    serve().globalLimiter().refill();
    ASSERT_TRUE(waitFor([&] { return got >= 600000; }));
    ASSERT_TRUE(waitFor([&] { return w.log()->toPlainText().contains(QStringLiteral("Fully downloaded")); }));
    EXPECT_TRUE(w.log()->toPlainText().contains(QStringLiteral("/data.bin")));
    view->refresh();
    EXPECT_TRUE(view->connections()->rowAt(0).status.startsWith(QStringLiteral("idle ")));
}

TEST(ConnectionsView, BanFromTheListReachesTheBanListAndKicks)
{
    TliveServer live(10);
    TmainWindow w;
    TconnectionsView *view = w.connections();
    auto client = startGet(live.port, "/");
    ASSERT_TRUE(waitFor([&] {
        view->refresh();
        return view->connections()->rowCount() == 1;
    }));
    auto *answers = new TanswersPrompt({QStringLiteral("127.0.0.1"), QStringLiteral("from the list")}, PB_YES);
    setPrompt(std::unique_ptr<Tprompt>(answers));

    const QList<TmenuEntry> menu = connectionMenuEntries(view, [&](const QString &a) { w.banAddress(a); });
    const TmenuEntry *ban = findMenuEntry(menu, QStringLiteral("Ban IP address"));
    ASSERT_TRUE(ban);
    EXPECT_FALSE(ban->enabled()); // nothing selected yet
    view->setCurrentIndex(view->connections()->index(0, 0));
    ASSERT_TRUE(ban->enabled());
    triggerMenuEntry(*ban);

    EXPECT_EQ(answers->titles, (QStringList{"Ban IP mask=127.0.0.1", "Ban comment="}));
    ASSERT_EQ(opts().banList.size(), 1);
    EXPECT_EQ(opts().banList.first().ip, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(opts().banList.first().comment, QStringLiteral("from the list"));
    ASSERT_EQ(answers->questions.size(), 1);
    EXPECT_TRUE(answers->questions.first().startsWith(QStringLiteral("There are 1 open connections")));
    ASSERT_TRUE(waitFor([&] { return client->state() == QAbstractSocket::UnconnectedState; }));
    // The ended connection stays listed until it is released.
    ASSERT_TRUE(waitFor([&] {
        view->refresh();
        return view->connections()->rowCount() == 1
            && view->connections()->rowAt(0).status == QStringLiteral("disconnected");
    }));
    const TconnRow row = view->connections()->rowAt(0);
    EXPECT_EQ(row.status, QStringLiteral("disconnected"));
    EXPECT_EQ(row.icon, CRI_DISCONNECTED);
    // Nothing is open any more: the kicks are not offered.
    const TmenuEntry *kickAll = findMenuEntry(menu, QStringLiteral("Kick all connections"));
    ASSERT_TRUE(kickAll);
    EXPECT_FALSE(kickAll->enabled());
    opts().banList.clear();
}

TEST(ConnectionsView, ThousandRowsRefreshInPlaceQuickly)
{
    Tservices services;
    ThttpSrv srv;
    struct Tpair
    {
        int fds[2];
        ThttpConn *conn;
        std::unique_ptr<TconnData> data;
    };
    std::vector<Tpair> pairs(1000);
    QList<ThttpConn *> conns;
    for (int i = 0; i < 1000; ++i) {
        Tpair &p = pairs[size_t(i)];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, p.fds), 0);
        p.conn = new ThttpConn(&srv, p.fds[0]);
        p.data = std::make_unique<TconnData>(p.conn);
        ThttpConnTestAccess::setPeer(*p.conn, QStringLiteral("10.0.%1.%2").arg(i / 250).arg(i % 250), QStringLiteral("4000"));
        p.data->address = p.conn->address();
        conns << p.conn;
    }
    TconnectionsView view;
    view.resize(800, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    int rowsInserted = 0, cellsChanged = 0;
    QObject::connect(view.connections(), &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first, int last) { rowsInserted += last - first + 1; });
    QObject::connect(view.connections(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &a, const QModelIndex &b) { cellsChanged += b.row() - a.row() + 1; });
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(view.connections()->refresh(conns), 1000);
    QCoreApplication::processEvents();
    const qint64 firstMs = t.elapsed();
    EXPECT_EQ(rowsInserted, 1000);

    // Unchanged rows: nothing is reported; one changed row: one row.
    qint64 worstMs = 0;
    for (int round = 0; round < 5; ++round) {
        pairs[size_t(round * 100)].data->credentials.user = QStringLiteral("u%1").arg(round);
        t.restart();
        EXPECT_EQ(view.connections()->refresh(conns), 1);
        QCoreApplication::processEvents();
        worstMs = std::max(worstMs, t.elapsed());
    }
    EXPECT_EQ(cellsChanged, 5);
    EXPECT_EQ(view.connections()->rowAt(400).address, QStringLiteral("u4@10.0.1.150:4000"));
    std::printf("1,000 rows: first refresh %lld ms, refresh of one changed row at most %lld ms\n",
                static_cast<long long>(firstMs), static_cast<long long>(worstMs));
    // A refresh runs at most a few times a second: it must stay well under that.
    EXPECT_LT(worstMs, 100);

    // A column width the operator sets is kept with the options.
    view.setColumnWidth(CC_FILE, 234);
    ASSERT_GT(opts().connectionsColumns.size(), CC_FILE);
    EXPECT_EQ(opts().connectionsColumns[CC_FILE].width, 234);

    // Ended connections leave from the end without a rebuild.
    conns.resize(990);
    EXPECT_EQ(view.connections()->refresh(conns), 10);
    EXPECT_EQ(view.connections()->rowCount(), 990);

    for (Tpair &p : pairs) {
        p.data.reset();
        ThttpConn::free(p.conn);
        ::close(p.fds[1]);
    }
}
