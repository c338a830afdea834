#include "app/application.h"

#include "app/desktopCommands.h"
#include "app/eventWiring.h"
#include "app/laterSteps.h"
#include "app/logWiring.h"
#include "app/netWiring.h"
#include "app/selfTestWiring.h"
#include "app/serveWiring.h"
#include "app/statsWiring.h"
#include "app/templateWiring.h"
#include "app/treeStoreWiring.h"
#include "app/updateWiring.h"
#include "app/urlAddressWiring.h"
#include "config/config.h"
#include "config/options.h"
#include "config/version.h"
#include "net/ddnsUpdater.h"
#include "net/ddnsWizards.h"
#include "net/httpClient.h"
#include "serve/pageAdapter.h"
#include "util/prompt.h"

#include <QTimer>

namespace {
const QString selfTestSwitch = QStringLiteral("--self-test");
const QString updateCheckSwitch = QStringLiteral("--check-update");
}

QStringList withoutOperatorSwitches(const QStringList &args)
{
    QStringList out = args;
    out.removeAll(selfTestSwitch);
    out.removeAll(updateCheckSwitch);
    return out;
}

Tapplication::Tapplication(const QStringList &args, QObject *parent)
    : QObject(parent), life(std::make_unique<Tprogram>(withoutOperatorSwitches(args))),
      selfTestWanted(args.contains(selfTestSwitch)), updateCheckWanted(args.contains(updateCheckSwitch))
{
    assemble();
}

Tapplication::~Tapplication()
{
    installSelfTest(nullptr);
    installUpdater(nullptr);
    installWebClient(nullptr);
}

// Run from the event loop once start-up is over, so the server answers the
// self test's connections meanwhile; the first daily update check too.
void Tapplication::runOperatorSwitches()
{
    if (opts().updateDaily)
        checkForUpdateDaily();
    if (selfTestWanted)
        runSelfTest(true);
    if (updateCheckWanted)
        checkForUpdatesNow();
}

int Tapplication::run()
{
    return life->run();
}

// The whole program's assembly. Within one signal, handlers run in the order
// they are connected here, and within one grade of the heartbeat, steps in
// the order they are added; that order is part of the behaviour.
void Tapplication::assemble()
{
    Tprogram *p = life.get();
    TcfgSignals *applied = services.config->notifier.get();

    // Parts that exist before start-up: the server's sessions and uploads
    // and the options' control over it,
    // the tree store, the templates.
    installServeParts();
    giveControlOfServer();
    installTreeStore();
    installTemplates();
    // Outgoing HTTP: web locations of the file macros, the address search.
    web = std::make_unique<ThttpClient>(QStringLiteral("ZOF/") + zofVersion());
    installWebClient(web.get());
    p->hooks.findExternalAddress = &searchExternalAddressOnStartup;
    p->hooks.reenterNoIpUpdater = [] { runDdnsWizard(DS_NOIP, prompt(), ddnsUpdater(), &setUrlAddress); };
    installUpdater(web.get());
    installSelfTest(web.get());

    // Initialisation: the server's admission rules first, then the folder
    // and special pages that read the built-in templates.
    connect(p, &Tprogram::initialising, this, &installAdmissionRules);
    connect(p, &Tprogram::initialising, this, &installPageHooks);
    // The desktop entries follow a moved program; "-u" uninstalls.
    installDesktopCommands(*p);
    // After start-up, from the event loop: the daily update check's first
    // look, which does not wait for the first minute (it fetches only when
    // a third of a day has passed), then the operator's commands given as
    // switches. One call runs both in turn: each may wait on the network in
    // a local event loop, and must not start inside the other.
    connect(p, &Tprogram::windowDue, this, [this] {
        QTimer::singleShot(0, this, &Tapplication::runOperatorSwitches);
    });

    // Options applied: the log first, so that what the others log follows
    // the new options; the tree store takes its settings (and the tree its
    // file name) before the templates switch file: the store's settings set
    // the folder that relative names, template ones too, are taken against.
    connect(applied, &TcfgSignals::applied, this, &optionsToLog);
    connect(applied, &TcfgSignals::applied, this, &optionsToStore);
    connect(applied, &TcfgSignals::applied, this, &optionsToTemplates);
    connect(applied, &TcfgSignals::applied, this, &optionsToServer);
    connect(applied, &TcfgSignals::applied, this, &optionsToUrlAddress);

    // Command-line files and trees, and the reload of the last tree.
    p->hooks.reloadLastVfs = [p] { reloadLastVfsOnce(*p); };
    p->hooks.loadVfs = [p](const QString &path) { loadVfsNamed(*p, path); };
    p->hooks.addFiles = [p](const QStringList &paths) { addNamedFiles(*p, [&] { addHandedPaths(paths); }); };
    p->hooks.bindRoot = [p](const QString &folder) { bindRootForThisRun(*p, folder); };
    // A quit stops an addition in progress (it lets the event loop run).
    p->hooks.stopAdding = [] {
        if (Tvfs::instance().adding().running())
            Tvfs::instance().adding().closing = true;
    };

    // "start" reloads the last tree if still due; "quit" leaves the tree
    // before the options are saved and the server goes.
    connect(p, &Tprogram::eventDue, this, [p](const QString &section) { treeStoreOnEvent(*p, section); });

    // The event scripts: read before the stored options; "start" runs after
    // the last tree is back, "quit" after the tree was left.
    connect(p, &Tprogram::loadingEvents, this, &loadEventScripts);
    connect(p, &Tprogram::eventDue, this, &runProgramEvent);

    // Heartbeat, every 100 ms: a due quit is carried out first (Tprogram);
    // then each grade's steps in the order added here.
    using Hb = Theartbeat;
    Theartbeat &hb = p->schedule();
    hb.add(Hb::EVERY_TICK, QStringLiteral("release ended connections"), &releaseEndedConnections);
    hb.add(Hb::EVERY_TICK, QStringLiteral("watch connections"), &watchConnections);
    hb.add(Hb::EVERY_TICK, QStringLiteral("add queued files"), [p] { p->addQueuedFiles(); });
    hb.add(Hb::EVERY_TICK, QStringLiteral("log search highlight"), &highlightLogSearch);
    hb.add(Hb::EVERY_10_MINUTES, QStringLiteral("external address"), [] {
        if (!opts().dynamicDnsUpdater.isEmpty())
            searchExternalAddressAgain();
    });
    hb.add(Hb::EVERY_MINUTE, QStringLiteral("expired sessions"), &releaseExpiredSessions);
    hb.add(Hb::EVERY_MINUTE, QStringLiteral("daily update check"), [] {
        if (opts().updateDaily)
            checkForUpdateDaily();
    });
    hb.add(Hb::EVERY_MINUTE, QStringLiteral("icon cache"), &releaseOldIcons);
    hb.add(Hb::EVERY_10_SECONDS, QStringLiteral("URL address"), &reexamineUrlAddress);
    // The per-second work, then the status bar.
    hb.add(Hb::EVERY_SECOND, QStringLiteral("window on screen"), &keepWindowOnScreen);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("dynamic DNS"), &updateDynamicDns);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("connections view"), &refreshConnectionsView);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("many items warning"), &warnOfManyItems);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("tree auto-save"), &autoSaveTree);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("connections"), &connectionsSecond);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("window bounds"), &rememberWindowBounds);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("pending update"), &runPendingUpdate);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("copy-URL caption"), &updateCopyUrlCaption);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("template file"), &checkTemplateFile);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("options auto-save"), [] { cfg().autoSaveCheck(); });
    hb.add(Hb::EVERY_SECOND, QStringLiteral("events file"), &reloadEventsFileWhenChanged);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("run-script window"), &runScriptWindowWhenChanged);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("timed events"), &runTimedEvents);
    hb.add(Hb::EVERY_SECOND, QStringLiteral("status bar"), &refreshStatusBar);
    hb.add(Hb::EVERY_GRAPH_SAMPLE, QStringLiteral("graph sample"), &sampleGraph);
    hb.add(Hb::EVERY_GRAPH_SAMPLE, QStringLiteral("graph paint"), &paintGraph);

    // Shutdown: connections closed and waited for, then the server released.
    connect(p, &Tprogram::closingConnections, this, &closeAllConnections);
    connect(p, &Tprogram::releasingServer, this, [this] { services.releaseServer(); });
}
