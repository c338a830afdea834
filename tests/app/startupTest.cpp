// The command line, the single-instance channel and the program's own
// processing of a command line.
#include "app/cmdLine.h"
#include "app/program.h"
#include "app/services.h"
#include "app/singleInstance.h"
#include "config/cfgFixture.h"
#include "config/config.h"
#include "config/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

TEST(CmdLine, SwitchesAndFilesInOrder)
{
    const TcmdLine cl = parseCmdLine({"-i", "/cfg", "a.txt", "-c", "port=1", "-q", "-x", "--long", "-", "-B", "9"});
    EXPECT_TRUE(cl.error.isEmpty());
    ASSERT_EQ(cl.items.size(), 7);
    EXPECT_EQ(cl.items[0].sw, 'i');
    EXPECT_EQ(cl.items[0].arg, QStringLiteral("/cfg"));
    EXPECT_EQ(cl.items[1].sw, 0);
    EXPECT_EQ(cl.items[3].sw, 'q');
    EXPECT_EQ(cl.files(), (QStringList{"a.txt", "--long", "-"})); // "-x" is not a switch of ours
    EXPECT_EQ(cl.value('B'), QStringLiteral("9"));
    EXPECT_TRUE(cl.value('a').isNull());
}

TEST(CmdLine, MissingParameter)
{
    const TcmdLine cl = parseCmdLine({"-q", "-a"});
    EXPECT_EQ(cl.error, QStringLiteral("missing parameter needed"));
    ASSERT_EQ(cl.items.size(), 1);
    EXPECT_TRUE(cl.has('q'));
}

TEST(SingleInstance, SecondStartHandsOverItsCommandLine)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/zof");
    TsingleInstance first(folder);
    ASSERT_EQ(first.open(), TsingleInstance::SI_PRIMARY) << first.errorText().toStdString();
    struct stat sb = {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0700u);

    TsingleInstance second(folder);
    ASSERT_EQ(second.open(), TsingleInstance::SI_SECONDARY);

    QStringList got;
    QObject::connect(&first, &TsingleInstance::received, [&](const QStringList &cl) { got = cl; });
    const QStringList sent = {QStringLiteral("/home/x"), QStringLiteral("-q"), QStringLiteral("fïle with space")};
    bool ok = false;
    std::thread sender([&] { ok = second.send(sent); });
    QElapsedTimer t;
    t.start();
    while (got.isEmpty() && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    sender.join();
    EXPECT_TRUE(ok) << second.errorText().toStdString();
    EXPECT_EQ(got, sent);
}

TEST(SingleInstance, LockIsReleasedWithTheInstance)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/zof");
    {
        TsingleInstance first(folder);
        ASSERT_EQ(first.open(), TsingleInstance::SI_PRIMARY);
    }
    TsingleInstance again(folder);
    EXPECT_EQ(again.open(), TsingleInstance::SI_PRIMARY);
    // Nobody listens behind a folder without an instance: sending fails in time.
    TsingleInstance lone(dir.path() + QStringLiteral("/other"));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(lone.send({QStringLiteral("/")}, 300));
    EXPECT_LT(t.elapsed(), 3000);
}

TEST(SingleInstance, UnsafeFolderIsRefused)
{
    QTemporaryDir dir;
    const QString target = dir.path() + QStringLiteral("/real");
    ASSERT_TRUE(QDir().mkdir(target));
    const QString link = dir.path() + QStringLiteral("/zof");
    ASSERT_TRUE(QFile::link(target, link));
    TsingleInstance viaLink(link);
    EXPECT_EQ(viaLink.open(), TsingleInstance::SI_ERROR);

    // A folder of ours with loose permissions is tightened.
    const QString loose = dir.path() + QStringLiteral("/loose");
    ASSERT_TRUE(QDir().mkdir(loose));
    ::chmod(QFile::encodeName(loose).constData(), 0777);
    TsingleInstance tightened(loose);
    EXPECT_EQ(tightened.open(), TsingleInstance::SI_PRIMARY);
    struct stat sb = {};
    ::stat(QFile::encodeName(loose).constData(), &sb);
    EXPECT_EQ(sb.st_mode & 0777, 0700u);
}

TEST(Program, CommandLineProcessing)
{
    Tservices services;
    QTemporaryDir dir;
    Tprogram program({QStringLiteral("zof"), QStringLiteral("--headless")});
    EXPECT_TRUE(program.headless());
    QString loaded;
    program.hooks.loadVfs = [&](const QString &p) { loaded = p; };
    const Toptions saved = opts();
    const TcfgPlaces savedPlaces = cfg().places;
    cfg().places.iniFile = dir.path() + QStringLiteral("/zof.ini"); // nothing reaches the real stores
    cfg().places.userStore = cfg().places.machineStore = cfg().places.iniFile;
    opts().autoSaveOptions = false;

    program.processCommandLine(parseCmdLine({"-b", "4096", "-B", "8192", "sub/a.txt", "/abs/b"}), dir.path());
    EXPECT_EQ(program.socketBufferSize(), 4096);
    EXPECT_EQ(program.sendBufferSize(), 8192);
    EXPECT_EQ(program.takePendingFiles(), (QStringList{dir.path() + "/sub/a.txt", "/abs/b"}));
    EXPECT_TRUE(program.takePendingFiles().isEmpty());

    program.processCommandLine(parseCmdLine({"tree.VFS"}), dir.path());
    EXPECT_EQ(loaded, dir.path() + QStringLiteral("/tree.VFS"));

    // "-a" naming a missing file ends the processing: later switches are ignored.
    program.processCommandLine(parseCmdLine({"-c", "max-ips=5", "-a", "missing.cfg", "-c", "max-ips=6", "-q", "x"}),
                               dir.path());
    EXPECT_EQ(opts().maxIps, 5);
    EXPECT_FALSE(program.quitRequested());
    EXPECT_TRUE(program.takePendingFiles().isEmpty());

    QFile a(dir.path() + QStringLiteral("/more.cfg"));
    ASSERT_TRUE(a.open(QIODevice::WriteOnly));
    a.write("max-ips=8\nmax-connections=3\n");
    a.close();
    program.processCommandLine(parseCmdLine({"-a", "more.cfg", "-c", "log-file-name=a\\nmax-ips=9", "-q"}), dir.path());
    EXPECT_EQ(opts().maxIps, 9); // "-c" unescapes backslash-n into a line break
    EXPECT_EQ(opts().maxConnections, 3);
    EXPECT_TRUE(program.quitRequested());
    opts() = saved;
    cfg().places = savedPlaces;
}

// Modules hang their work on these signals; the order they fire in is the
// order of the start-up and of the shutdown.
TEST(Program, StepsAnnouncedInOrder)
{
    Tservices services;
    QTemporaryDir dir;
    qputenv("ZOF_NO_SINGLE_INSTANCE", "1");
    qputenv("ZOF_IGNORE_STORED_OPTIONS", "1"); // nothing stored is read or written
    const Toptions saved = opts();
    const TcfgPlaces savedPlaces = cfg().places;
    const TcfgStorage savedStorage = cfg().cfgStorage;
    const QString savedCfgPath = cfgPath();
    opts().copyUrlOnStart = true;

    Tprogram program({QStringLiteral("zof"), QStringLiteral("--headless"), QStringLiteral("-i"), dir.path()});
    QStringList steps;
    auto record = [&](const char *name) { return [&steps, name] { steps << QString::fromLatin1(name); }; };
    QObject::connect(&program, &Tprogram::initialising, record("initialising"));
    QObject::connect(&program, &Tprogram::loadingEvents, record("loadingEvents"));
    QObject::connect(&program, &Tprogram::noStoredOptions, record("noStoredOptions"));
    QObject::connect(&program, &Tprogram::windowDue, record("windowDue"));
    QObject::connect(&program, &Tprogram::eventDue, [&](const QString &section) { steps << QStringLiteral("event ") + section; });
    QObject::connect(&program, &Tprogram::copyRootUrlWanted, record("copyRootUrl"));
    QObject::connect(&program, &Tprogram::closingConnections, record("closingConnections"));
    QObject::connect(&program, &Tprogram::releasingServer, record("releasingServer"));
    int beats = 0;
    program.schedule().add(Theartbeat::EVERY_TICK, QStringLiteral("test"), [&] {
        if (beats++ == 0)
            steps << QStringLiteral("heartbeat");
    });

    ASSERT_EQ(program.startup(), -1);
    EXPECT_TRUE(program.startupFinished());
    QElapsedTimer t;
    t.start();
    while (beats == 0 && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    program.closeProgram();
    const int beatsAtClose = beats;
    t.restart();
    while (t.elapsed() < 250)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    EXPECT_EQ(steps, (QStringList{"initialising", "loadingEvents", "noStoredOptions", "windowDue", "event start",
                                  "copyRootUrl", "heartbeat", "event quit", "closingConnections", "releasingServer"}));
    EXPECT_EQ(beats, beatsAtClose); // a closed program's heartbeat is silent

    qunsetenv("ZOF_NO_SINGLE_INSTANCE");
    qunsetenv("ZOF_IGNORE_STORED_OPTIONS");
    opts() = saved;
    cfg().places = savedPlaces;
    cfg().cfgStorage = savedStorage;
    setCfgPath(savedCfgPath);
}

// Each service is reachable exactly while the owner holds it; the server
// goes first, and what the program still does after that (saving options,
// leaving the tree) finds the rest in place.
TEST(Services, ServerReleasedFirstThenAllInReverse)
{
    {
        Tservices services;
        ASSERT_TRUE(serveExists());
        EXPECT_EQ(&Tvfs::instance(), &*services.tree);
        EXPECT_EQ(&opts(), &*services.options);
        EXPECT_EQ(&cfg().o, &opts()); // the configuration is over the program's options
        services.releaseServer();
        EXPECT_FALSE(serveExists());
        EXPECT_EQ(Tservice<Tvfs>::find(), &*services.tree);
        EXPECT_EQ(Tservice<TvfsStore>::find(), &*services.treeStore);
        EXPECT_EQ(Tservice<Tconfig>::find(), &*services.config);
    }
    EXPECT_EQ(Tservice<Toptions>::find(), nullptr);
    EXPECT_EQ(Tservice<Taccounts>::find(), nullptr);
    EXPECT_EQ(Tservice<Tvfs>::find(), nullptr);
    EXPECT_EQ(Tservice<Tconfig>::find(), nullptr);
    EXPECT_EQ(Tservice<Ttemplates>::find(), nullptr);
    EXPECT_EQ(Tservice<TsessionTable>::find(), nullptr);
    EXPECT_EQ(Tservice<TvfsStore>::find(), nullptr);
    EXPECT_EQ(Tservice<Tserve>::find(), nullptr);
}
