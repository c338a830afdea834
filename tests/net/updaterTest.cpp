#include "net/updater.h"

#include "config/options.h"
#include "net/httpClient.h"
#include "util/prompt.h"

#include "qtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class TupdaterTestPrompt : public Tprompt
{
public:
    QStringList messages;
    void message(const QString &text, TpromptKind) override { messages.append(text); }
    TpromptButton question(const QString &, TpromptButtons, TpromptButton safe) override { return safe; }
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// An updater over a program file of its own in a temporary folder; nothing
// here reaches a network (the only URLs lead to a closed port).
class Updater : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        program = dir.filePath(QStringLiteral("zof"));
        write(program, "running program");
        auto p = std::make_unique<TupdaterTestPrompt>();
        rec = p.get();
        previous = setPrompt(std::move(p));
        saved = opts();
        opts().only1Instance = true;
        web.idleTimeoutMs = 3000;
        up = std::make_unique<Tupdater>(web, program);
        up->hooks.restart = [this] { ++restarts; };
        up->hooks.openConnections = [this] { return connections; };
        up->hooks.stopListening = [this] { ++stops; };
        up->hooks.resumeListening = [this] { ++resumes; };
    }
    void TearDown() override
    {
        opts() = saved;
        setPrompt(std::move(previous));
    }
    bool onlyProgramLeft() const
    {
        return QDir(dir.path()).entryList(QDir::Files) == QStringList{QStringLiteral("zof")}
               && readAll(program) == "running program";
    }

    QTemporaryDir dir;
    QString program;
    ThttpClient web{QStringLiteral("test")};
    std::unique_ptr<Tupdater> up;
    TupdaterTestPrompt *rec = nullptr;
    std::unique_ptr<Tprompt> previous;
    Toptions saved;
    int restarts = 0, stops = 0, resumes = 0, connections = 0;
};

} // namespace

TEST_F(Updater, RefusalsBeforeAnyDownload)
{
    QStringList opened;
    up->hooks.openInBrowser = [&](const QString &url) { opened.append(url); };
    opts().only1Instance = false;
    EXPECT_FALSE(up->installUpdate(QStringLiteral("https://127.0.0.1:1/zof")));
    EXPECT_EQ(opened, QStringList{QStringLiteral("https://127.0.0.1:1/zof")});
    ASSERT_EQ(rec->messages.size(), 1);
    EXPECT_TRUE(rec->messages[0].startsWith(QStringLiteral("The auto-update feature cannot work")));

    opts().only1Instance = true;
    EXPECT_FALSE(up->installUpdate(QStringLiteral("http://127.0.0.1:1/zof")));
    EXPECT_TRUE(rec->messages.last().contains(QStringLiteral("plain HTTP")));
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(onlyProgramLeft());
}

TEST_F(Updater, FailedDownloadLeavesTheProgram)
{
    EXPECT_FALSE(up->installUpdate(QStringLiteral("https://127.0.0.1:1/zof")));
    EXPECT_EQ(rec->messages.last(), QStringLiteral("Network error. Request failed."));
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(onlyProgramLeft());
}

TEST_F(Updater, DelayedWhileConnectionsAreOpen)
{
    opts().delayedUpdate = true;
    connections = 2;
    const QString url = QStringLiteral("https://127.0.0.1:1/zof");
    EXPECT_TRUE(up->installUpdate(url));
    EXPECT_EQ(up->pendingUpdateUrl, url);
    EXPECT_EQ(stops, 1);
    up->runPending(); // still busy
    EXPECT_EQ(up->pendingUpdateUrl, url);
    EXPECT_TRUE(rec->messages.isEmpty());
    EXPECT_EQ(resumes, 0);
    connections = 0;
    up->runPending(); // the install goes on (and fails here on the network)
    EXPECT_TRUE(up->pendingUpdateUrl.isEmpty());
    EXPECT_EQ(rec->messages.last(), QStringLiteral("Network error. Request failed."));
    EXPECT_TRUE(opts().delayedUpdate); // the option itself is kept
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(resumes, 1); // the server listens again after the failure
}

TEST_F(Updater, UnsavedTreeKeptStopsTheUpdate)
{
    int asked = 0;
    up->hooks.leaveTree = [&] { ++asked; return false; };
    EXPECT_FALSE(up->installUpdate(QStringLiteral("https://127.0.0.1:1/zof")));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(rec->messages.isEmpty()); // no download was tried
}

TEST_F(Updater, RevertPutsThePreviousFileBack)
{
    EXPECT_FALSE(up->revertUpdate());
    EXPECT_EQ(restarts, 0);
    write(program + QStringLiteral(".old"), "previous program");
    EXPECT_TRUE(up->revertUpdate());
    EXPECT_EQ(readAll(program), "previous program");
    EXPECT_FALSE(QFile::exists(program + QStringLiteral(".old")));
    EXPECT_EQ(restarts, 1);
}
