#pragma once
// The program's life: start-up in its fixed order, the heartbeat, quitting
// and the shutdown. The modules (server, tree, templates, events, window)
// follow the steps through the signals below, connected by Tapplication;
// the server itself is controlled through cfg().hooks (start, stop, state).
#include "app/cmdLine.h"
#include "app/heartbeat.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class Tconfig;
class TsignalWatcher;
class TsingleInstance;

// The steps that hand work to a single provider and need it done, not merely
// announced. Each is optional; a missing one is a step with nothing to do.
struct TprogramHooks
{
    std::function<void()> reloadLastVfs;              // the last tree file
    std::function<void(const QString &path)> loadVfs; // a single ".vfs" argument
    // Files named on a command line.
    std::function<void(const QStringList &paths)> addFiles;
    // A quit was asked for: an addition running (nested) stops.
    std::function<void()> stopAdding;
    // find-external-on-startup: the external address searched.
    std::function<void()> findExternalAddress;
    // An old No-IP updater URL: the operator agreed to enter it again.
    std::function<void()> reenterNoIpUpdater;
    // "--root DIR": the root of the tree bound to that folder for this run.
    std::function<void(const QString &folder)> bindRoot;
};

// Whether a program started with `args` runs without a window: asked so,
// or no display to show one on.
bool runsHeadless(const QStringList &args);

class Tprogram : public QObject
{
    Q_OBJECT
public:
    // `args` is the process's argument list (program name first).
    explicit Tprogram(const QStringList &args, QObject *parent = nullptr);
    ~Tprogram() override;

    static Tprogram *instance();

    TprogramHooks hooks;

    // Start-up, then the event loop until the program closes. The exit code.
    int run();
    // Start-up proper. Returns -1 when the program goes on running, else the
    // exit code of an early end (a second instance that handed over: 0;
    // the single-instance channel failing: 1).
    int startup();

    // Asks for an orderly close, carried out by the next heartbeat tick.
    void requestQuit();
    // The shutdown sequence (runs once); ends the event loop.
    void closeProgram();

    // Processes a command line as the program's own: switches in order, then
    // the file names (relative ones taken against `currentFolder`).
    void processCommandLine(const TcmdLine &cl, const QString &currentFolder);

    bool headless() const { return isHeadless; }
    void setHeadless(bool on) { isHeadless = on; }
    bool startupFinished() const { return started; }
    bool quitRequested() const { return quitAsked; }
    bool quitting() const { return isQuitting; }
    bool closing() const { return isClosing; }
    bool storedOptionsApplied() const { return storedApplied; }
    // This instance holds the single-instance channel (others hand over to it).
    bool singleInstanceHeld() const;
    // "-i" was given: the options belong to that folder.
    bool explicitCfgFolder() const { return cfgFolderGiven; }

    // "-b" and "-B": socket buffer sizes for downloads (0 = automatic).
    qint64 socketBufferSize() const { return bufSize; }
    qint64 sendBufferSize() const { return sendBufSize; }

    // The heartbeat's schedule: Tapplication adds the modules' steps; the
    // program ticks it every 100 ms from the end of start-up until closing.
    Theartbeat &schedule() { return beat; }

    // Files named on command lines not yet handed to hooks.addFiles, and a
    // ".vfs" file to load once the tree can be loaded.
    QStringList takePendingFiles();
    // Hands the files queued since start-up to hooks.addFiles (every tick).
    void addQueuedFiles();
    QString pendingVfs() const { return vfsToLoad; }
    // The folder "--root" named (absolute), or empty.
    QString rootFolder() const { return rootDir; }

Q_SIGNALS:
    // Start-up, in this order (each only when the step is reached):
    void initialising();      // before anything is read: create the server, install templates
    void loadingEvents();     // the events file, before the stored options
    void noStoredOptions();   // nothing stored was applied: install the default template
    void windowDue();         // start-up done: show the window
    void eventDue(const QString &section); // "start" once started, "quit" when closing
    void copyRootUrlWanted(); // copy-url-on-start
    void uninstallWanted();   // "-u"
    void handedOver();        // another start handed its command line over
    // Shutdown, after the options are saved: every connection closed and
    // waited for, then the server released.
    void closingConnections();
    void releasingServer();

private:
    void initialise();
    void applyConfigFolderSwitch();
    void loadStoredOptions();
    void openSingleInstance();
    bool handOverToRunningInstance();
    void afterSwitches();
    void finishStartup();
    void onReceivedCommandLine(const QStringList &cmdLine);
    void queueFiles(const QStringList &paths);

    QStringList args;
    TcmdLine cmdLine;
    bool isHeadless = true;
    bool cfgFolderGiven = false;
    bool storedApplied = false;
    QString storedPort;                 // the port the stored options gave
    bool started = false;
    bool quitAsked = false;
    bool isQuitting = false;
    bool isClosing = false;
    bool closed = false;
    bool ignoreSingleInstance = false;
    bool selfSignedHttps = false;       // "--https-self-signed"
    bool cleanStart = false;            // stored options ignored
    QString cleanStartText;             // the options when such a start finished
    std::optional<bool> storedSingleInstance;
    int quitSignals = 0;
    int exitCode = 0;
    qint64 bufSize = 0;
    qint64 sendBufSize = 0;
    QStringList pendingFiles;
    QString vfsToLoad;
    QString rootDir;
    QTimer heartbeatTimer;
    Theartbeat beat;
    std::unique_ptr<TsignalWatcher> signalWatcher;
    std::unique_ptr<TsingleInstance> channel;
};
