#include "app/program.h"

#include "app/httpsWiring.h"
#include "app/longSwitches.h"
#include "app/signalWatcher.h"
#include "app/singleInstance.h"
#include "config/config.h"
#include "config/notify.h"
#include "config/paths.h"
#include "config/version.h"
#include "util/asciiCase.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <QStringTokenizer>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {
Tprogram *gProgram = nullptr;

void printLine(const QString &line)
{
    std::fputs((line + u'\n').toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void printError(const QString &line)
{
    std::fputs((line + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

// Longest wait "-d" may ask for: an hour.
constexpr qint64 kMaxStartDelayTenths = 36000;
// Quit signals after which the program stops waiting for an orderly close.
constexpr int kForcedExitSignals = 3;

// The stored only-1-instance, read like the stored text has it ("YES" counts).
std::optional<bool> only1InstanceIn(const QString &text)
{
    for (QStringView line : QStringTokenizer(text, u'\n')) {
        if (line.startsWith(u"only-1-instance="))
            return sameText(line.mid(16).trimmed(), u"yes");
    }
    return std::nullopt;
}
}

bool runsHeadless(const QStringList &args)
{
    const bool noDisplay = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return noDisplay || args.contains(QStringLiteral("--headless"));
}

Tprogram::Tprogram(const QStringList &argsIn, QObject *parent)
    : QObject(parent), args(argsIn)
{
    gProgram = this;
    if (!args.isEmpty())
        args.removeFirst(); // the program's name
    isHeadless = runsHeadless(args);
    args.removeAll(QStringLiteral("--headless"));
    // Not handed to a running instance: it serves this process's tree. The
    // entry point refused a "--root" without a usable folder already.
    rootDir = takeRootSwitch(args, QDir::currentPath()).folder;
    selfSignedHttps = args.removeAll(QStringLiteral("--https-self-signed")) > 0;
    cmdLine = parseCmdLine(args);
    ignoreSingleInstance = qEnvironmentVariable("ZOF_NO_SINGLE_INSTANCE") == u"1";

    heartbeatTimer.setInterval(100);
    connect(&heartbeatTimer, &QTimer::timeout, this, [this] { beat.tick(); });
    beat.quitDue = [this] { return quitAsked && !isClosing; };
    beat.carryOutQuit = [this] { closeProgram(); };
    beat.quitting = [this] { return isQuitting || isClosing; };
    beat.graphRate = [] { return opts().graphRate; };
    signalWatcher = std::make_unique<TsignalWatcher>();
    connect(signalWatcher.get(), &TsignalWatcher::quitSignal, this, [this] {
        if (++quitSignals >= kForcedExitSignals) {
            printError(QStringLiteral("ZOF forced to end"));
            std::_Exit(1);
        }
        requestQuit();
    });
}

Tprogram::~Tprogram()
{
    if (gProgram == this)
        gProgram = nullptr;
}

Tprogram *Tprogram::instance()
{
    return gProgram;
}

int Tprogram::run()
{
    const int early = startup();
    if (early >= 0)
        return early;
    const int rc = QCoreApplication::exec();
    return closed ? exitCode : rc;
}

int Tprogram::startup()
{
    initialise();
    applyConfigFolderSwitch();
    // Before the stored options, which may start the server.
    if (selfSignedHttps) {
        QString error;
        if (!useSelfSignedCertificate(&error))
            printError(QStringLiteral("HTTPS: ") + error);
    }
    cfg().captureDefaults();
    Q_EMIT loadingEvents();
    loadStoredOptions();

    // The single-instance test, with the stored only-1-instance.
    if (!ignoreSingleInstance) {
        openSingleInstance();
        const bool wanted = storedSingleInstance.value_or(opts().only1Instance);
        if (channel->state() == TsingleInstance::SI_ERROR && wanted) {
            notifyOperator(QStringLiteral("monoLib error: ") + channel->errorText());
            return 1;
        }
        if (channel->state() == TsingleInstance::SI_SECONDARY && wanted) {
            isQuitting = true;
            return handOverToRunningInstance() ? 0 : 1;
        }
    }

    if (!storedApplied)
        Q_EMIT noStoredOptions();
    processCommandLine(cmdLine, QDir::currentPath());
    if (!isQuitting)
        afterSwitches();
    finishStartup();
    return -1;
}

void Tprogram::initialise()
{
    tmpPath(); // decided once, before anything is written
    opts().lastDialogFolder = QDir::currentPath();
    Q_EMIT initialising();
}

void Tprogram::applyConfigFolderSwitch()
{
    const QString folder = cmdLine.value('i');
    cfgFolderGiven = !folder.isEmpty();
    if (cfgFolderGiven)
        setCfgPath(folder);
    Tconfig &c = cfg();
    c.places = TcfgPlaces::standard();
    // A folder named with "-i" holds its own options: they are saved there
    // rather than in the per-user store shared by every instance.
    if (cfgFolderGiven)
        c.cfgStorage = CS_FILE;
}

void Tprogram::loadStoredOptions()
{
    Tconfig &c = cfg();
    if (qEnvironmentVariable("ZOF_IGNORE_STORED_OPTIONS") == u"1") {
        notifyOperator(QStringLiteral("Clean start"));
        cleanStart = true;
    } else {
        const QString text = c.readStoredCfg();
        if (cfgFolderGiven)
            c.cfgStorage = CS_FILE;
        storedApplied = c.setCfg(text, false);
        storedPort = opts().port;
        storedSingleInstance = only1InstanceIn(text);
        const QString ddns = opts().dynamicDnsUpdater;
        if (storedApplied && ddns.contains(QStringLiteral("no-ip.com"), Qt::CaseInsensitive)
            && !ddns.contains(QStringLiteral("nic/update"), Qt::CaseInsensitive))
            if (askOperator(QStringLiteral("You are invited to re-insert your No-IP configuration, "
                                           "otherwise the updater won't work as expected."), false)
                && hooks.reenterNoIpUpdater)
                hooks.reenterNoIpUpdater();
    }
    if (opts().lastUpdateCheck == 0 && QFileInfo(c.places.updateCheckTmp).isFile())
        opts().lastUpdateCheck = fileTime(c.places.updateCheckTmp);
}

void Tprogram::openSingleInstance()
{
    channel = std::make_unique<TsingleInstance>();
    if (channel->open() == TsingleInstance::SI_PRIMARY)
        connect(channel.get(), &TsingleInstance::received, this, &Tprogram::onReceivedCommandLine);
}

bool Tprogram::handOverToRunningInstance()
{
    if (!rootDir.isEmpty())
        printError(QStringLiteral("--root is not handed to the running instance: it keeps its own root"));
    QStringList message = args;
    message.prepend(QDir::currentPath());
    if (channel->send(message))
        return true;
    notifyOperator(QStringLiteral("monoLib error: ") + channel->errorText());
    return false;
}

void Tprogram::processCommandLine(const TcmdLine &cl, const QString &currentFolder)
{
    const QDir here(currentFolder);
    QStringList files;
    bool stopped = false;
    for (const TcmdItem &it : cl.items) {
        switch (it.sw) {
        case 0:
            files.append(QDir::cleanPath(here.absoluteFilePath(it.arg)));
            break;
        case 'i':
            break; // handled before the options are read
        case 'a': {
            QString path = here.absoluteFilePath(it.arg);
            if (!QFileInfo(path).isFile())
                path = cfgPath() + it.arg;
            if (!QFileInfo(path).isFile()) {
                stopped = true;
                break;
            }
            cfg().setCfg(loadTextFile(path), true);
            break;
        }
        case 'c':
            cfg().setCfg(unescapeLineBreaks(it.arg), true);
            break;
        case 'd': {
            const qint64 tenths = qMin(it.arg.toLongLong(), kMaxStartDelayTenths);
            if (tenths > 0 && !started)
                QThread::msleep(static_cast<unsigned long>(tenths * 100));
            break;
        }
        case 'q':
            requestQuit();
            break;
        case 'u':
            Q_EMIT uninstallWanted();
            break;
        case 'b':
            bufSize = it.arg.toLongLong();
            break;
        case 'B':
            sendBufSize = it.arg.toLongLong();
            break;
        }
        if (stopped)
            break;
    }
    if (!stopped && !cl.error.isEmpty())
        notifyOperator(cl.error);
    if (files.isEmpty())
        return;
    if (files.size() == 1 && files.first().endsWith(QStringLiteral(".vfs"), Qt::CaseInsensitive)) {
        if (hooks.loadVfs)
            hooks.loadVfs(files.first());
        else
            vfsToLoad = files.first();
        return;
    }
    queueFiles(files);
}

void Tprogram::queueFiles(const QStringList &paths)
{
    // During start-up the files wait until the tree has been reloaded; later
    // the next heartbeat tick adds them, outside whatever runs now.
    pendingFiles += paths;
}

void Tprogram::addQueuedFiles()
{
    if (started && !pendingFiles.isEmpty() && hooks.addFiles)
        hooks.addFiles(takePendingFiles());
}

QStringList Tprogram::takePendingFiles()
{
    return std::exchange(pendingFiles, {});
}

void Tprogram::afterSwitches()
{
    Tconfig &c = cfg();
    // Stored options started the server as they were read. If that start
    // failed (their port was taken) and the command line then named another
    // port, the port rule left the server stopped, as it restarts only a
    // listening one: the options as they finally stand get their start.
    const bool portChanged = storedApplied && c.startupActiveWish && opts().port != storedPort;
    if ((!storedApplied || portChanged) && c.hooks.startServer
        && !(c.hooks.serverActive && c.hooks.serverActive()))
        c.hooks.startServer();
    if (opts().findExternalOnStartup && hooks.findExternalAddress)
        hooks.findExternalAddress();
    // A tree named on the command line takes the place of the last one.
    if (vfsToLoad.isEmpty() && opts().reloadOnStartup && !opts().lastFileOpen.isEmpty() && hooks.reloadLastVfs)
        hooks.reloadLastVfs();
    // After the tree is back, before named files join it (under the root).
    if (!rootDir.isEmpty() && hooks.bindRoot)
        hooks.bindRoot(rootDir);
    if (!pendingFiles.isEmpty() && hooks.addFiles)
        hooks.addFiles(takePendingFiles());
}

void Tprogram::finishStartup()
{
    Q_EMIT windowDue();
    heartbeatTimer.start();
    started = true;
    Q_EMIT eventDue(QStringLiteral("start"));
    if (opts().copyUrlOnStart)
        Q_EMIT copyRootUrlWanted();
    if (cleanStart)
        cleanStartText = cfg().getCfg(QStringLiteral(".*-total"));
    printLine(QStringLiteral("ZOF ") + zofVersion() + QStringLiteral(" started"));
}

void Tprogram::requestQuit()
{
    quitAsked = true;
    if (hooks.stopAdding)
        hooks.stopAdding();
}

void Tprogram::closeProgram()
{
    if (closed || isClosing)
        return;
    if (!started) {
        // Put off until the heartbeat runs.
        requestQuit();
        return;
    }
    isClosing = true;
    isQuitting = true;
    Q_EMIT eventDue(QStringLiteral("quit"));
    heartbeatTimer.stop();
    Tconfig &c = cfg();
    // After a clean start the stored options are overwritten only when the
    // operator changed something, not merely by quitting.
    const bool untouchedCleanStart = cleanStart && c.getCfg(QStringLiteral(".*-total")) == cleanStartText;
    if (opts().autoSaveOptions && !c.isTemporarilyReset() && !untouchedCleanStart)
        c.saveCFG();
    Q_EMIT closingConnections();
    Q_EMIT releasingServer();
    channel.reset();
    closed = true;
    QCoreApplication::exit(exitCode);
}

void Tprogram::onReceivedCommandLine(const QStringList &received)
{
    if (received.isEmpty())
        return;
    printError(QStringLiteral("ZOF received command line: ") + received.join(u' '));
    const QString folder = received.first();
    processCommandLine(parseCmdLine(received.mid(1)), folder);
    Q_EMIT handedOver();
}

bool Tprogram::singleInstanceHeld() const
{
    return channel && channel->state() == TsingleInstance::SI_PRIMARY;
}

